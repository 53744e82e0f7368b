// The self-update end to end: a release host on loopback publishes a newer
// build of the service; the running build fetches it through the download
// proxies, checks it, swaps itself out and restarts as the new build.
//
// Environment, besides the harness's: TESSAVIN_NEW_BUILD (the build that
// plays release 1.6.0), TESSAVIN_RELEASE_SERVER (release_server.py),
// TESSAVIN_RELEASE_SCHEME ("https" where the builds trust the test
// certificate, else "http"), TESSAVIN_RELEASE_PORTS ("HTTP HTTPS"),
// TESSAVIN_RELEASE_CERT and TESSAVIN_RELEASE_KEY; under Wine
// TESSAVIN_TRUST_HELPER, which adds the certificate to the prefix's root store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>

#include "answers.h"
#include "harness.h"

namespace blackbox {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool eventually(const std::function<bool()>& condition, milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

std::string sha256_hex(const std::string& data) {
  unsigned char digest[32];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string ping_answer(const std::string& version) {
  std::string answer = expected::kPing;
  answer.replace(answer.find("1.5.0"), 5, version);
  return answer;
}

std::string ping(int port) { return exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received; }

// The processes started from `root`, found by the current directory (the
// native restart) or by the command line (Wine shows the Windows path),
// `except` and this test left out.
std::vector<pid_t> processes_in(const fs::path& root, pid_t except) {
  std::vector<pid_t> found;
  for (const auto& process : fs::directory_iterator("/proc")) {
    const std::string name = process.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (pid == getpid() || pid == except) continue;
    std::error_code error;
    const std::string directory = fs::read_symlink(process.path() / "cwd", error).string();
    const std::string command = read_file(process.path() / "cmdline");
    if (directory.rfind(root.string(), 0) == 0 ||
        command.find(root.filename().string()) != std::string::npos) {
      found.push_back(pid);
    }
  }
  return found;
}

// Makes WinHTTP in this run's Wine prefix trust the test certificate, once.
bool wine_trusts_test_certificate() {
  static const bool trusted =
      run_command({env("TESSAVIN_WINE"), env("TESSAVIN_TRUST_HELPER"),
                  "Z:" + env("TESSAVIN_RELEASE_CERT")}) == 0;
  return trusted;
}

// The release host, run for one test.
struct ReleaseServer {
  pid_t pid = -1;

  explicit ReleaseServer(const fs::path& root) {
    std::istringstream ports(env("TESSAVIN_RELEASE_PORTS"));
    std::string http_port, https_port;
    ports >> http_port >> https_port;
    std::vector<std::string> argv = {"/usr/bin/python3", env("TESSAVIN_RELEASE_SERVER"),
                                     root.string(), http_port};
    if (env("TESSAVIN_RELEASE_SCHEME") == "https") {
      argv.insert(argv.end(),
                  {https_port, env("TESSAVIN_RELEASE_CERT"), env("TESSAVIN_RELEASE_KEY")});
    }
    int ready[2];
    if (pipe(ready) != 0) return;
    const std::string errors = (root / "server-errors.txt").string();
    pid = fork();
    if (pid == 0) {
      dup2(ready[1], 1);
      const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(err, 2);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(ready[1]);
    // It prints one line once both ports listen.
    pollfd p{ready[0], POLLIN, 0};
    char buffer[16] = {};
    if (poll(&p, 1, 20000) <= 0 || read(ready[0], buffer, sizeof buffer - 1) <= 0) stop();
    close(ready[0]);
  }
  ~ReleaseServer() { stop(); }
  bool running() const { return pid > 0; }
  void stop() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

class SelfUpdate : public ::testing::Test {
 protected:
  Install install;
  fs::path root = install.root / "release-host";
  const std::string scheme = env("TESSAVIN_RELEASE_SCHEME");
  std::string origin;
  std::string new_build;
  fs::path script;
  fs::path staged;
  std::optional<ReleaseServer> server;

  void SetUp() override {
    // The services reach the release host directly, whatever proxy the
    // machine's environment names.
    setenv("no_proxy", "127.0.0.1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);
    fs::create_directory(root);
    std::istringstream ports(env("TESSAVIN_RELEASE_PORTS"));
    std::string http_port, https_port;
    ports >> http_port >> https_port;
    origin = scheme + "://127.0.0.1:" + (scheme == "https" ? https_port : http_port);
    new_build = read_file(env("TESSAVIN_NEW_BUILD"));
    ASSERT_FALSE(new_build.empty());
    script = install.app / (under_wine() ? "TessavinServer-update.bat" : "TessavinServer-update.sh");
    staged = install.app / (under_wine() ? "TessavinServer-new.exe" : "TessavinServer-new");
    if (under_wine() && scheme == "https") {
      ASSERT_TRUE(wine_trusts_test_certificate());
    }
    server.emplace(root);
    ASSERT_TRUE(server->running()) << read_file(root / "server-errors.txt");
  }

  void TearDown() override {
    // The restarted build, and a swap script that failed to finish, are
    // nobody's children here.
    const pid_t host = server ? server->pid : -1;
    for (const pid_t pid : processes_in(install.root, host)) ::kill(pid, SIGKILL);
    EXPECT_TRUE(eventually([&] { return processes_in(install.root, host).empty(); }, 20s));
    server.reset();
    if (!under_wine()) {
      EXPECT_EQ(read_file(install.stderr_path()), "");
    }
  }

  // Publishes release 1.6.0 with the download path and digest given.
  void publish(const std::string& download_path, const std::string& digest) {
    write_file(root / "TessavinServer-1.6.0.bin", new_build);
    write_file(root / "manifest.json",
               R"({"tag":"build-latest","tessavin-server":{"version":"1.6.0","url":")" + origin +
                   download_path + R"(","sha256":")" + digest + R"("},"other":{"version":"9"}})");
  }

  std::string manifest_url() const {
    return origin + "/releases/download/build-latest/manifest.json";
  }
  std::string log() const { return read_file(install.app / "TessavinServer-update.txt"); }
  std::vector<std::string> requests() const {
    std::vector<std::string> lines;
    std::istringstream in(read_file(root / "requests.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The three attempts that reach the host for one URL: two failing
  // proxies (the third proxy's port is closed), then the URL itself.
  std::vector<std::string> attempts(const std::string& url, const std::string& direct) const {
    return {"http /status/404/" + url, "http /empty/" + url, scheme + " " + direct};
  }
};

TEST_F(SelfUpdate, SwapsInTheNewBuildAndRestarts) {
  publish("/redirect/TessavinServer-1.6.0.bin", sha256_hex(new_build));
  Service old(install, {.self_update = true});
  // Ends by itself once the swap script runs; a failure shows in the log.
  eventually([&] { return !old.running() || log().find("失败") != std::string::npos; }, 120s);
  ASSERT_EQ(old.wait_for_exit(5s), 0) << log();

  std::string answer;
  const bool restarted = eventually(
      [&] {
        const int port = std::atoi(read_file(install.app / "service_port.txt").c_str());
        answer = port ? ping(port) : "";
        return answer == ping_answer("1.6.0");
      },
      120s);
  ASSERT_TRUE(restarted) << answer << "\nlog: " << log();
  EXPECT_TRUE(eventually([&] { return !fs::exists(script); }, 30s));
  EXPECT_TRUE(eventually(
      [&] { return log() == "TessavinServer 1.6.0\r\n已是最新版本（1.6.0）。\r\n"; }, 60s))
      << log();
  EXPECT_FALSE(fs::exists(staged));
  EXPECT_EQ(read_file(install.binary), new_build);
  if (!under_wine()) {
    EXPECT_EQ(fs::status(install.binary).permissions() & fs::perms::all,
              fs::perms(0755));
  }

  const std::string release_url = origin + "/redirect/TessavinServer-1.6.0.bin";
  std::vector<std::string> expected = attempts(manifest_url(), "/releases/download/build-latest/manifest.json");
  for (const auto& r : attempts(release_url, "/redirect/TessavinServer-1.6.0.bin")) expected.push_back(r);
  expected.push_back(scheme + " /TessavinServer-1.6.0.bin");
  // The new build's own check.
  for (const auto& r : attempts(manifest_url(), "/releases/download/build-latest/manifest.json")) {
    expected.push_back(r);
  }
  EXPECT_EQ(requests(), expected);
}

TEST_F(SelfUpdate, WrongDigestKeepsTheOldBuildAndWritesNothing) {
  publish("/TessavinServer-1.6.0.bin", std::string(64, '0'));
  Service old(install, {.self_update = true});
  const int port = old.wait_until_serving();
  ASSERT_NE(port, 0);
  EXPECT_TRUE(eventually(
      [&] {
        return log() == "TessavinServer 1.5.0\r\n下载文件的 SHA-256 校验失败，放弃本次更新。\r\n";
      },
      60s))
      << log();
  EXPECT_TRUE(old.running());
  EXPECT_EQ(ping(port), expected::kPing);
  const std::vector<std::string> files = {install.binary.filename().string(), "TessavinServer-update.txt",
                                          "data", "service_port.txt"};
  std::vector<std::string> sorted = files;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(install.tree(), sorted);
}

TEST_F(SelfUpdate, NeverFollowsARedirectFromHttpsDownToHttp) {
  if (scheme != "https") {
    GTEST_SKIP() << "these builds reach the test host over plain http only";
  }
  publish("/to-http/TessavinServer-1.6.0.bin", sha256_hex(new_build));
  Service old(install, {.self_update = true});
  const int port = old.wait_until_serving();
  ASSERT_NE(port, 0);
  EXPECT_TRUE(eventually(
      [&] { return log() == "TessavinServer 1.5.0\r\n下载新版本失败，继续使用当前版本。\r\n"; },
      60s))
      << log();
  EXPECT_TRUE(old.running());
  EXPECT_EQ(ping(port), expected::kPing);
  const auto seen = requests();
  EXPECT_NE(std::find(seen.begin(), seen.end(), "https /to-http/TessavinServer-1.6.0.bin"), seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), "http /TessavinServer-1.6.0.bin"), seen.end());
  EXPECT_FALSE(fs::exists(staged));
}

}  // namespace
}  // namespace blackbox
