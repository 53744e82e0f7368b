// The self-update end to end: a release host on loopback publishes a newer
// build of the service with a manifest signed by the release tooling; the
// running build fetches it through the download proxies, some of which lie,
// checks it, swaps itself out and restarts as the new build.
//
// Environment, besides the harness's: TESSAVIN_NEW_BUILD (the build that
// plays release 1.6.0), TESSAVIN_KEYLESS_BUILD and TESSAVIN_UNSIGNED_BUILD
// (1.5.0 without a key: the default kind, and the test build made to take
// unsigned releases from loopback), TESSAVIN_OTHER_EXECUTABLE (an executable
// of the other platform, when there is one), TESSAVIN_RELEASE_TOOL
// (scripts/tools/release-manifest),
// TESSAVIN_SIGNING_KEYS ("RELEASE_KEY FORGER_KEY": the private key the builds
// trust, and another), TESSAVIN_RELEASE_SERVER (release_server.py),
// TESSAVIN_RELEASE_SCHEME ("https" where the builds trust the test
// certificate, else "http"), TESSAVIN_RELEASE_PORTS ("HTTP HTTPS"),
// TESSAVIN_RELEASE_CERT and TESSAVIN_RELEASE_KEY; under Wine
// TESSAVIN_TRUST_HELPER, which adds the certificate to the prefix's root store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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
  static const bool trusted = run_command({env("TESSAVIN_WINE"), env("TESSAVIN_TRUST_HELPER"),
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

bool is_exe() { return under_wine(); }
std::string own_platform() { return is_exe() ? "windows-x86_64" : "linux-x86_64"; }
std::string other_platform() { return is_exe() ? "linux-x86_64" : "windows-x86_64"; }
std::string entry_of(const std::string& platform) {
  return platform == "windows-x86_64" ? "tessavin-server" : "tessavin-server-linux-x86_64";
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// What the release tooling writes for `file`, to be downloaded from `url`,
// signed with `key` for `platform`, added to the manifest `into` when one is
// given; empty when the tool failed. `any_file` lets it sign a file that is
// no executable of that platform.
std::string release_manifest(const std::string& key, const std::string& version,
                             const std::string& url, const fs::path& file,
                             const std::string& platform = own_platform(),
                             const fs::path& into = {}, bool any_file = false) {
  std::string command = quoted(env("TESSAVIN_RELEASE_TOOL")) + " --platform " + platform;
  if (!into.empty()) command += " --into " + quoted(into.string());
  if (any_file) command += " --any-file";
  command +=
      " " + quoted(key) + " " + quoted(version) + " " + quoted(url) + " " + quoted(file.string());
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : "";
}

std::string signing_key(int which) {
  std::istringstream keys(env("TESSAVIN_SIGNING_KEYS"));
  std::string release, forger;
  keys >> release >> forger;
  return which == 0 ? release : forger;
}

class SelfUpdate : public ::testing::Test {
 protected:
  explicit SelfUpdate(const fs::path& base_directory = "app") : install(base_directory) {}

  Install install;
  fs::path root = install.root / "release-host";
  const std::string scheme = env("TESSAVIN_RELEASE_SCHEME");
  std::string origin;
  std::string new_build;
  std::string old_build;
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
    old_build = read_file(install.binary);
    ASSERT_NE(old_build, new_build);
    script =
        install.app / (under_wine() ? "TessavinServer-update.bat" : "TessavinServer-update.sh");
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

  // Puts the build `path` (another kind) in place of the one installed.
  void use_build(const std::string& path) {
    old_build = read_file(path);
    ASSERT_FALSE(old_build.empty()) << path;
    write_file(install.binary, old_build);
    fs::permissions(install.binary, fs::perms(0755));
  }

  // Release `version` as the release tooling publishes it for both
  // platforms, downloaded from `download_path` on the host: this platform's
  // entry names `build` (the new build unless given), the other platform's
  // its own file. One manifest, signed entry by entry.
  std::string publish(const std::string& download_path, const std::string& version = "1.6.0",
                      const std::string& build = "") {
    write_file(root / ("TessavinServer-" + version + ".bin"), build.empty() ? new_build : build);
    write_file(root / "other-platform.bin", "the other platform's build");
    const std::string other =
        release_manifest(signing_key(0), version, origin + "/other-platform.bin",
                         root / "other-platform.bin", other_platform(), {}, true);
    EXPECT_NE(other, "");
    write_file(root / "manifest.json", other);
    const std::string both = release_manifest(signing_key(0), version, origin + download_path,
                                              root / ("TessavinServer-" + version + ".bin"),
                                              own_platform(), root / "manifest.json");
    EXPECT_NE(both, "");
    EXPECT_NE(both.find('"' + entry_of(other_platform()) + '"'), std::string::npos);
    write_file(root / "manifest.json", both);
    return both;
  }
  // Download proxy `n` (1 to 3): "pass", "own" (serving the files given
  // here), "empty", "drop", "trickle", or 404 when never set.
  void proxy(int n, const std::string& mode,
             const std::vector<std::pair<std::string, std::string>>& files = {}) {
    write_file(root / ("mirror-" + std::to_string(n)), mode);
    const fs::path own = root / ("mirror-" + std::to_string(n) + ".d");
    fs::create_directories(own);
    for (const auto& [name, content] : files) write_file(own / name, content);
  }
  // A manifest signed with the forger's key, naming `payload` as 1.6.0.
  std::string forged_manifest(const std::string& payload) {
    write_file(root / "forged.bin", payload);
    return release_manifest(signing_key(1), "1.6.0", origin + "/payload", root / "forged.bin",
                            own_platform(), {}, true);
  }
  // A manifest signed with the release key, but for the other platform, and
  // then put under this platform's entry: `payload` as `version`.
  std::string signed_for_other_platform(const std::string& payload, const std::string& version) {
    write_file(root / "other.bin", payload);
    std::string manifest = release_manifest(signing_key(0), version, origin + "/other.bin",
                                            root / "other.bin", other_platform(), {}, true);
    const std::string from = '"' + entry_of(other_platform()) + '"';
    const std::size_t at = manifest.find(from);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
      manifest.replace(at, from.size(), '"' + entry_of(own_platform()) + '"');
    return manifest;
  }
  // An unsigned manifest naming `url` as 1.6.0, as a hostile proxy would serve it.
  std::string unsigned_manifest(const std::string& url) const {
    return "{\"" + entry_of(own_platform()) + "\":{\"version\":\"1.6.0\",\"url\":\"" + url + "\"}}";
  }

  std::string manifest_url() const {
    return origin + "/releases/download/build-latest/manifest.json";
  }
  std::string log() const { return read_file(install.app / "TessavinServer-update.txt"); }
  std::string log_holding(const std::string& message) const {
    return "TessavinServer 1.5.0\r\n" + message + "\r\n";
  }
  std::vector<std::string> requests() const {
    std::vector<std::string> lines;
    std::istringstream in(read_file(root / "requests.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The request of proxy `n` for `url`, and the direct one for `path`.
  static std::string via(int n, const std::string& url) {
    return "http /mirror/" + std::to_string(n) + "/" + url;
  }
  std::string direct(const std::string& path) const { return scheme + " " + path; }
  std::vector<std::string> all_four(const std::string& url, const std::string& path) const {
    return {via(1, url), via(2, url), via(3, url), direct(path)};
  }
  // Every source is asked for the manifest, at every start.
  std::vector<std::string> manifest_requests() const {
    return all_four(manifest_url(), "/releases/download/build-latest/manifest.json");
  }
  bool was_requested(const std::string& line) const {
    const auto seen = requests();
    return std::find(seen.begin(), seen.end(), line) != seen.end();
  }

  // The old build hands over, and the new one (1.6.0) serves in its place
  // and finds itself up to date.
  void expect_restart_as_new_build(Service& old, const std::string& new_log) {
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
    EXPECT_TRUE(
        eventually([&] { return log() == "TessavinServer 1.6.0\r\n" + new_log + "\r\n"; }, 60s))
        << log();
    EXPECT_FALSE(fs::exists(staged));
    EXPECT_EQ(read_file(install.binary), new_build);
    if (!under_wine()) {
      EXPECT_EQ(fs::status(install.binary).permissions() & fs::perms::all, fs::perms(0755));
      // Kept until the new build has stayed up for a few seconds.
      EXPECT_TRUE(eventually([&] { return !fs::exists(install.app / "TessavinServer-old"); }, 30s));
    }
  }

  // The old build keeps serving and the log ends with `message`; nothing but
  // the log is written beside it.
  void expect_old_build_runs_on(Service& old, const std::string& message) {
    const int port = old.wait_until_serving();
    ASSERT_NE(port, 0);
    EXPECT_TRUE(eventually([&] { return log() == log_holding(message); }, 60s)) << log();
    EXPECT_TRUE(old.running());
    EXPECT_EQ(ping(port), expected::kPing);
    std::vector<std::string> files = {install.binary.filename().string(),
                                      "TessavinServer-update.txt", "data", "service_port.txt"};
    std::sort(files.begin(), files.end());
    EXPECT_EQ(install.tree(), files);
    EXPECT_EQ(read_file(install.binary), old_build);
  }
};

// A base directory whose name breaks a plain `cmd.exe /C "path"`.
class SelfUpdateInAwkwardFolder : public SelfUpdate {
 protected:
  SelfUpdateInAwkwardFolder() : SelfUpdate(fs::path("Program Files (x86)") / "R&D") {}
};

TEST_F(SelfUpdateInAwkwardFolder, TakesTheFirstHonestSourcePastLyingProxiesAndRestarts) {
  publish("/redirect/TessavinServer-1.6.0.bin");
  proxy(1, "own",
        {{"manifest.json", forged_manifest("#!/bin/sh\necho owned\n")},
         {"TessavinServer-1.6.0.bin", "#!/bin/sh\necho owned\n"}});
  proxy(2, "own",
        {{"manifest.json", read_file(root / "manifest.json")},
         {"TessavinServer-1.6.0.bin", old_build}});
  proxy(3, "pass");
  Service old(install, {.self_update = true});
  expect_restart_as_new_build(old, "已是最新版本（1.6.0）。");

  // The forged manifest is passed over for the true one from proxy 2; the
  // wrong files of proxies 1 and 2 for the one proxy 3 passes on. The other
  // platform's file, named in the same manifest, is never asked for.
  const std::string release_url = origin + "/redirect/TessavinServer-1.6.0.bin";
  std::vector<std::string> expected = manifest_requests();
  for (int n = 1; n <= 3; ++n) expected.push_back(via(n, release_url));
  for (const auto& r : manifest_requests()) expected.push_back(r);  // the new build's own check
  EXPECT_EQ(requests(), expected);
}

// The manifest holds both platforms' entries; a higher version signed for the
// other platform, under this platform's entry, is no release for this one.
TEST_F(SelfUpdate, AReleaseSignedForTheOtherPlatformIsPassedOver) {
  publish("/TessavinServer-1.6.0.bin");
  proxy(1, "own",
        {{"manifest.json", signed_for_other_platform("#!/bin/sh\necho owned\n", "1.7.0")}});
  proxy(2, "pass");
  Service old(install, {.self_update = true});
  expect_restart_as_new_build(old, "已是最新版本（1.6.0）。");
  EXPECT_FALSE(was_requested(via(1, origin + "/other.bin")));
  EXPECT_FALSE(was_requested(direct("/other.bin")));
  EXPECT_FALSE(was_requested(direct("/other-platform.bin")));
}

// The hold-back a first proxy could do while only the first answer counted.
TEST_F(SelfUpdate, AnOlderSignedManifestFromTheFirstProxyDoesNotStopANewerOne) {
  write_file(root / "TessavinServer-1.5.0.bin", old_build);
  const std::string older =
      release_manifest(signing_key(0), "1.5.0", origin + "/TessavinServer-1.5.0.bin",
                       root / "TessavinServer-1.5.0.bin");
  ASSERT_NE(older, "");
  publish("/TessavinServer-1.6.0.bin");
  proxy(1, "own", {{"manifest.json", older}});
  Service old(install, {.self_update = true});
  expect_restart_as_new_build(old, "已是最新版本（1.6.0）。");
  EXPECT_TRUE(was_requested(direct("/TessavinServer-1.6.0.bin")));
}

// A validly signed manifest for a higher version, but over 64 KiB: refused,
// so the smaller one from the next source is what counts.
TEST_F(SelfUpdate, AnOversizedManifestIsRefused) {
  publish("/TessavinServer-1.6.0.bin");
  std::string big = release_manifest(signing_key(0), "1.7.0", origin + "/TessavinServer-1.7.0.bin",
                                     root / "TessavinServer-1.6.0.bin");
  ASSERT_EQ(big.rfind("{", 0), 0u);
  big.insert(1, "\"notes\":\"" + std::string(70000, 'x') + "\",");
  proxy(1, "own", {{"manifest.json", big}, {"TessavinServer-1.7.0.bin", new_build}});
  proxy(2, "pass");
  Service old(install, {.self_update = true});
  expect_restart_as_new_build(old, "已是最新版本（1.6.0）。");
  EXPECT_FALSE(was_requested(via(1, origin + "/TessavinServer-1.7.0.bin")));
}

// The stall this guards against: a proxy announcing a body and sending a
// byte every half second would hold the check for days. The attempt ends at
// its 30 s deadline and the next source is asked.
TEST_F(SelfUpdate, ATricklingFirstProxyIsLeftAtTheDeadline) {
  publish("/TessavinServer-1.6.0.bin");
  proxy(1, "trickle");
  proxy(2, "pass");
  const auto start = std::chrono::steady_clock::now();
  Service old(install, {.self_update = true});
  ASSERT_NE(old.wait_until_serving(), 0);
  EXPECT_TRUE(eventually([&] { return was_requested(via(2, manifest_url())); }, 60s));
  const auto asked_after = std::chrono::steady_clock::now() - start;
  EXPECT_GE(asked_after, 25s);
  EXPECT_LE(asked_after, 45s);
  expect_restart_as_new_build(old, "已是最新版本（1.6.0）。");
}

// What each kind of build does with a newer, unsigned manifest served from
// loopback: only the test build made for it installs it.
struct BuildKind {
  const char* name;
  const char* build_variable;  // empty: the keyed old build
  const char* message;         // empty: it installs
};

void PrintTo(const BuildKind& kind, std::ostream* out) { *out << kind.name; }

class SelfUpdateOfEachKind : public SelfUpdate, public ::testing::WithParamInterface<BuildKind> {};

TEST_P(SelfUpdateOfEachKind, TakesAnUnsignedManifestOnlyWhenMadeForTests) {
  const BuildKind& kind = GetParam();
  if (kind.build_variable[0] != '\0') use_build(env(kind.build_variable));
  write_file(root / "TessavinServer-1.6.0.bin", new_build);
  write_file(root / "manifest.json", unsigned_manifest(origin + "/TessavinServer-1.6.0.bin"));
  Service old(install, {.self_update = true});
  if (kind.message[0] == '\0') {
    // The new build is a keyed one: it finds no signed manifest.
    expect_restart_as_new_build(old, "检查更新失败：无法获取 manifest.json，继续使用当前版本。");
    return;
  }
  expect_old_build_runs_on(old, kind.message);
  EXPECT_EQ(requests(), manifest_requests());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelfUpdateOfEachKind,
    ::testing::Values(BuildKind{"keyless", "TESSAVIN_KEYLESS_BUILD",
                                "发现新版本 1.6.0，但这个构建无法校验更新，不会自动安装。"},
                      BuildKind{"unsigned_test", "TESSAVIN_UNSIGNED_BUILD", ""},
                      BuildKind{"keyed", "",
                                "检查更新失败：无法获取 manifest.json，继续使用当前版本。"}),
    [](const ::testing::TestParamInfo<BuildKind>& info) { return std::string(info.param.name); });

// Whatever the build, a file that is not an executable of this platform is
// never written: here the test build that takes unsigned files, which would
// otherwise take the first.
TEST_F(SelfUpdate, AnExecutableWithTheWrongHeaderIsPassedOverForTheNextSource) {
  use_build(env("TESSAVIN_UNSIGNED_BUILD"));
  write_file(root / "TessavinServer-1.6.0.bin", new_build);
  write_file(root / "manifest.json", unsigned_manifest(origin + "/TessavinServer-1.6.0.bin"));
  const std::string other = read_file(env("TESSAVIN_OTHER_EXECUTABLE"));
  proxy(1, "own", {{"TessavinServer-1.6.0.bin", "#!/bin/sh\necho owned\n"}});
  proxy(2, "own", {{"TessavinServer-1.6.0.bin", other.empty() ? "MZ" : other}});
  proxy(3, "pass");
  Service old(install, {.self_update = true});
  expect_restart_as_new_build(old, "检查更新失败：无法获取 manifest.json，继续使用当前版本。");
  const std::string release_url = origin + "/TessavinServer-1.6.0.bin";
  EXPECT_TRUE(was_requested(via(2, release_url)));
  EXPECT_TRUE(was_requested(via(3, release_url)));
  EXPECT_FALSE(was_requested(direct("/TessavinServer-1.6.0.bin")));
}

// Linux only: the swap script keeps the old build until the new one has
// stayed up. A release that exits at once (here /bin/false, a real x86-64
// executable) is rolled back, and the old build serves again.
TEST_F(SelfUpdate, ANewBuildThatExitsAtOnceIsRolledBack) {
  if (under_wine()) GTEST_SKIP() << "Windows keeps its eleven-line swap script";
  publish("/TessavinServer-1.6.0.bin", "1.6.0", read_file("/bin/false"));
  Service old(install, {.self_update = true});
  ASSERT_NE(old.wait_until_serving(), 0);
  eventually([&] { return !old.running(); }, 60s);
  ASSERT_EQ(old.wait_for_exit(5s), 0) << log();
  const std::string rolled_back = log_holding("新版本无法启动，已恢复为原来的版本。");
  EXPECT_TRUE(eventually([&] { return log() == rolled_back; }, 60s)) << log();
  std::string answer;
  EXPECT_TRUE(eventually(
      [&] {
        const int port = std::atoi(read_file(install.app / "service_port.txt").c_str());
        answer = port ? ping(port) : "";
        return answer == expected::kPing;
      },
      60s))
      << answer;
  EXPECT_EQ(read_file(install.binary), old_build);
  std::vector<std::string> files = {install.binary.filename().string(), "TessavinServer-update.txt",
                                    "data", "service_port.txt"};
  std::sort(files.begin(), files.end());
  EXPECT_EQ(install.tree(), files);
  // The old build runs with its self-update off for that run: the log keeps
  // the roll-back, and the release is not fetched again.
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(log(), rolled_back);
}

TEST_F(SelfUpdate, EverySourceLyingAboutTheManifestLeavesTheOldBuildRunning) {
  publish("/TessavinServer-1.6.0.bin");
  const std::string payload = "#!/bin/sh\necho owned\n";
  // Another key; no signature at all (the hijack this closes); a signed
  // manifest whose version was raised afterwards; and at the host itself a
  // release signed for the other platform.
  std::string raised = read_file(root / "manifest.json");
  const std::string own_entry = '"' + entry_of(own_platform()) + '"';
  const std::size_t version_at = raised.find("\"1.6.0\"", raised.find(own_entry));
  ASSERT_NE(version_at, std::string::npos);
  raised.replace(version_at, 7, "\"9.9.9\"");
  proxy(1, "own", {{"manifest.json", forged_manifest(payload)}});
  proxy(2, "own", {{"manifest.json", unsigned_manifest("http://127.0.0.1:1/payload")}});
  proxy(3, "own", {{"manifest.json", raised}});
  write_file(root / "manifest.json", signed_for_other_platform(payload, "1.6.0"));
  Service old(install, {.self_update = true});
  expect_old_build_runs_on(old, "检查更新失败：无法获取 manifest.json，继续使用当前版本。");
  EXPECT_EQ(requests(), manifest_requests());
}

TEST_F(SelfUpdate, EverySourceServingAnotherExecutableLeavesTheOldBuildRunning) {
  publish("/TessavinServer-1.6.0.bin");
  proxy(1, "own",
        {{"manifest.json", read_file(root / "manifest.json")},
         {"TessavinServer-1.6.0.bin", old_build}});
  proxy(2, "empty");
  proxy(3, "own", {{"TessavinServer-1.6.0.bin", new_build + "tail"}});
  write_file(root / "TessavinServer-1.6.0.bin", new_build.substr(0, new_build.size() - 1));
  Service old(install, {.self_update = true});
  expect_old_build_runs_on(old, "下载文件的 SHA-256 校验失败，放弃本次更新。");
  std::vector<std::string> expected = manifest_requests();
  for (const auto& r :
       all_four(origin + "/TessavinServer-1.6.0.bin", "/TessavinServer-1.6.0.bin")) {
    expected.push_back(r);
  }
  EXPECT_EQ(requests(), expected);
}

// The host closes the connection halfway through the announced body: a
// broken download, not a file that merely fails its digest.
TEST_F(SelfUpdate, ABodyCutShortIsNeverTaken) {
  publish("/short/TessavinServer-1.6.0.bin");
  Service old(install, {.self_update = true});
  expect_old_build_runs_on(old, "下载新版本失败，继续使用当前版本。");
  const auto seen = requests();
  EXPECT_NE(std::find(seen.begin(), seen.end(), direct("/short/TessavinServer-1.6.0.bin")),
            seen.end());
}

TEST_F(SelfUpdate, NeverFollowsARedirectFromHttpsDownToHttp) {
  if (scheme != "https") {
    GTEST_SKIP() << "these builds reach the test host over plain http only";
  }
  publish("/to-http/TessavinServer-1.6.0.bin");
  Service old(install, {.self_update = true});
  expect_old_build_runs_on(old, "下载新版本失败，继续使用当前版本。");
  const auto seen = requests();
  EXPECT_NE(std::find(seen.begin(), seen.end(), "https /to-http/TessavinServer-1.6.0.bin"),
            seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), "http /TessavinServer-1.6.0.bin"), seen.end());
}

}  // namespace
}  // namespace blackbox
