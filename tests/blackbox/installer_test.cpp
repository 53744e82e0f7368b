// The Windows installer end to end under Wine: silent install, upgrade over
// a running older build, uninstall with and without the data, and the
// version Apps & features shows after a self-update. Each test has a Wine
// prefix of its own, as a fresh user account would.
//
// Environment: TESSAVIN_WINE_LOADER (wine64); TESSAVIN_SETUP, the installer
// of the windows preset's exe TESSAVIN_SERVER; TESSAVIN_OLD_SETUP and
// TESSAVIN_NEW_SETUP, the installers of the self-update's test builds 1.5.0
// (TESSAVIN_OLD_BUILD) and 1.6.0 (TESSAVIN_NEW_BUILD); TESSAVIN_STAND_IN,
// another program named TessavinServer.exe; for the self-update
// TESSAVIN_RELEASE_SERVER, TESSAVIN_RELEASE_PORTS ("HTTP HTTPS"),
// TESSAVIN_RELEASE_CERT, TESSAVIN_RELEASE_KEY, TESSAVIN_RELEASE_TOOL,
// TESSAVIN_SIGNING_KEY and TESSAVIN_TRUST_HELPER.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "answers.h"
#include "harness.h"

namespace blackbox {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char kUninstallKey[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TessavinServer";
const char kRunKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Installs and stops take seconds under Wine: no need to look more often.
bool eventually(const std::function<bool()>& condition, milliseconds limit) {
  return blackbox::eventually(condition, limit, 200ms);
}

std::string ping(int port) {
  return blackbox::exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received;
}

// Standard output of a command run to its end.
std::string output_of(const std::vector<std::string>& argv) {
  std::string command;
  for (const auto& a : argv) command += "'" + a + "' ";
  FILE* pipe = popen((command + "2>/dev/null").c_str(), "r");
  if (!pipe) return "";
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// Processes whose command line holds `text` (Wine shows the Windows path).
std::vector<pid_t> processes_with(const std::string& text) {
  std::vector<pid_t> found;
  for (const auto& process : fs::directory_iterator("/proc")) {
    const std::string name = process.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (read_file(process.path() / "cmdline").find(text) != std::string::npos) {
      found.push_back(std::stoi(name));
    }
  }
  return found;
}

// True while the process exists and has not ended: a Windows process that
// ended under Wine may linger as a zombie until its parent reaps it.
bool running(pid_t pid) {
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  const auto end = stat.rfind(") ");
  return end != std::string::npos && stat.size() > end + 2 && stat[end + 2] != 'Z';
}

// The ports of 17632-17641 on which the service answers.
std::vector<int> serving_ports() {
  std::vector<int> ports;
  for (int port = 17632; port <= 17641; ++port) {
    if (ping(port).find("zelvo-tessavin") != std::string::npos) ports.push_back(port);
  }
  return ports;
}

class Installer : public ::testing::Test {
 protected:
  fs::path scratch;  // the prefix and everything else of this test
  fs::path prefix;
  std::string user;      // the Windows user Wine made
  fs::path install_dir;  // where the installer puts it, seen from Linux
  std::string windows_install_dir;
  const std::string wine = env("TESSAVIN_WINE_LOADER");
  std::vector<pid_t> started;  // by start(), ended at the end

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tessavin-installer-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    prefix = scratch / "prefix";
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    setenv("PULSE_SERVER", "unix:/nonexistent", 1);
    // The installed service inherits the installer's environment.
    setenv("ZELVO_NO_SELF_UPDATE", "1", 1);
    ASSERT_EQ(run_command({wine, "wineboot", "--init"}), 0);
    for (const auto& entry : fs::directory_iterator(prefix / "drive_c" / "users")) {
      const std::string name = entry.path().filename();
      if (name != "Public" && entry.is_directory() && !entry.is_symlink()) user = name;
    }
    ASSERT_FALSE(user.empty());
    install_dir =
        prefix / "drive_c" / "users" / user / "AppData" / "Local" / "Programs" / "Tessavin Server";
    windows_install_dir = "C:\\users\\" + user + "\\AppData\\Local\\Programs\\Tessavin Server";
  }

  void TearDown() override {
    for (const pid_t pid : started) {
      ::kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    // Every process of the prefix, the installed service among them; the
    // next test starts with the ports free.
    const std::string server = (fs::path(wine).parent_path() / "wineserver").string();
    run_command({server, "-k"});
    run_command({"/usr/bin/timeout", "30", server, "-w"});
    EXPECT_TRUE(eventually([] { return serving_ports().empty(); }, 20s));
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
  }

  // Runs a silent install to its end.
  void install(const std::string& setup) {
    ASSERT_EQ(run_command({wine, setup, "/S"}), 0) << setup;
  }
  // The uninstaller hands over to a copy of itself in the temporary folder
  // and returns at once; this waits for that copy too.
  void uninstall(const std::vector<std::string>& switches) {
    std::vector<std::string> argv = {wine, windows_install_dir + "\\uninstall.exe", "/S"};
    argv.insert(argv.end(), switches.begin(), switches.end());
    ASSERT_EQ(run_command(argv), 0);
    EXPECT_TRUE(eventually([] { return processes_with("~nsu").empty(); }, 60s));
  }

  // The values of a registry key, name to value as `reg query` prints them;
  // empty when the key is missing.
  std::map<std::string, std::string> values_of(const std::string& key) {
    std::map<std::string, std::string> values;
    std::istringstream lines(output_of({wine, "reg", "query", key}));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("    ", 0) != 0) continue;
      for (const char* type : {"    REG_SZ    ", "    REG_DWORD    "}) {
        const auto at = line.find(type);
        if (at != std::string::npos) {
          values[line.substr(4, at - 4)] = line.substr(at + std::strlen(type));
        }
      }
    }
    return values;
  }

  int installed_port() { return std::atoi(read_file(install_dir / "service_port.txt").c_str()); }
  bool installed_answers(const std::string& version) {
    const int port = installed_port();
    return port != 0 && ping(port) == ping_answer(version);
  }
  std::vector<pid_t> installed_processes() {
    return processes_with(windows_install_dir + "\\TessavinServer.exe");
  }

  std::vector<std::string> tree(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      found.push_back(entry.path().lexically_relative(root).string());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // A program started here, outside Wine's control of the test: killed at
  // the end by the prefix's wineserver -k.
  pid_t start(const std::vector<std::string>& argv) {
    const pid_t pid = start_command(argv);
    started.push_back(pid);
    return pid;
  }
  static bool alive(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0 && running(pid); }

  // Documents and music as a user leaves them: some through the page, some
  // put there by hand, names and bytes of every kind.
  std::map<std::string, std::string> put_user_data() {
    const int port = installed_port();
    const std::string body = "{\"volume\":0.5,\"title\":\"\xE5\xA4\x9C\xE6\x9B\xB2\"}";
    const std::string answer =
        blackbox::exchange(port, "PUT /api/data/settings HTTP/1.1\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body)
            .received;
    EXPECT_NE(answer.find("{\"ok\":true}"), std::string::npos) << answer;
    std::map<std::string, std::string> files = {
        {"data/settings.json", body},
        {"data/\xE6\xAD\x8C\xE5\x8D\x95.json", std::string("[1,2,3]\r\n\0\xFF", 11)},
        {"data/music/Live/01 Intro.mp3", std::string(4096, '\x5A') + "ID3"},
    };
    fs::create_directories(install_dir / "data" / "music" / "Live");
    for (const auto& [name, content] : files) {
      if (name != "data/settings.json") write_file(install_dir / name, content);
    }
    return files;
  }
  void expect_user_data(const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) {
      EXPECT_EQ(read_file(install_dir / name), content) << name;
    }
  }
};

TEST_F(Installer, SilentInstallWritesTheFilesAndEntriesAndStartsTheService) {
  install(env("TESSAVIN_SETUP"));
  EXPECT_TRUE(eventually([&] { return installed_answers("1.5.0"); }, 30s));
  EXPECT_EQ(read_file(install_dir / "TessavinServer.exe"), read_file(env("TESSAVIN_SERVER")));
  const std::vector<std::string> files = {"TessavinServer.exe", "data", "service_port.txt",
                                          "uninstall.exe"};
  EXPECT_EQ(tree(install_dir), files);
  EXPECT_EQ(installed_processes().size(), 1u);

  const std::string exe = windows_install_dir + "\\TessavinServer.exe";
  const std::string uninstaller = "\"" + windows_install_dir + "\\uninstall.exe\"";
  EXPECT_EQ(values_of(kRunKey)["TessavinServer"], "\"" + exe + "\"");
  auto entry = values_of(kUninstallKey);
  const std::map<std::string, std::string> strings = {
      {"DisplayName", "Tessavin Server"},
      {"DisplayVersion", "1.5.0"},
      {"Publisher", "Zelvo"},
      {"DisplayIcon", exe},
      {"InstallLocation", windows_install_dir},
      {"UninstallString", uninstaller},
      {"QuietUninstallString", uninstaller + " /S"},
      {"NoModify", "0x1"},
      {"NoRepair", "0x1"},
  };
  for (const auto& [name, value] : strings) EXPECT_EQ(entry[name], value) << name;
  // In KiB: the exe and the uninstaller.
  const auto program_bytes = fs::file_size(install_dir / "TessavinServer.exe") +
                             fs::file_size(install_dir / "uninstall.exe");
  EXPECT_EQ(std::stoul(entry["EstimatedSize"], nullptr, 16), program_bytes / 1024)
      << entry["EstimatedSize"];
}

TEST_F(Installer, UpgradeOverARunningOlderBuildKeepsTheDataAndLeavesOtherProgramsAlone) {
  install(env("TESSAVIN_OLD_SETUP"));
  ASSERT_TRUE(eventually([&] { return installed_answers("1.5.0"); }, 30s));
  const auto old_processes = installed_processes();
  ASSERT_EQ(old_processes.size(), 1u);
  const auto files = put_user_data();
  // Another program of the same name, from another folder.
  const fs::path elsewhere = scratch / "Other Program";
  fs::create_directories(elsewhere);
  fs::copy_file(env("TESSAVIN_STAND_IN"), elsewhere / "TessavinServer.exe");
  const pid_t other = start({wine, (elsewhere / "TessavinServer.exe").string()});
  ASSERT_TRUE(eventually([&] { return !processes_with("Other Program").empty(); }, 20s));

  install(env("TESSAVIN_NEW_SETUP"));
  EXPECT_TRUE(eventually([&] { return installed_answers("1.6.0"); }, 30s));
  EXPECT_EQ(read_file(install_dir / "TessavinServer.exe"), read_file(env("TESSAVIN_NEW_BUILD")));
  for (const pid_t pid : old_processes) EXPECT_FALSE(running(pid)) << "old build " << pid;
  EXPECT_EQ(installed_processes().size(), 1u);
  expect_user_data(files);
  const std::string settings =
      blackbox::exchange(installed_port(), "GET /api/data/settings HTTP/1.1\r\n\r\n").received;
  EXPECT_EQ(settings.substr(settings.find("\r\n\r\n") + 4), files.at("data/settings.json"));
  EXPECT_TRUE(alive(other));
  EXPECT_FALSE(processes_with("Other Program").empty());
  auto entry = values_of(kUninstallKey);
  EXPECT_EQ(entry["DisplayVersion"], "1.6.0");
  EXPECT_EQ(entry["InstallLocation"], windows_install_dir);
}

// The same service run from a download folder: the installed copy meets its
// instance guard, and the installer leaves that copy serving.
TEST_F(Installer, InstallLeavesTheServiceRunningFromAnotherFolderAlone) {
  const fs::path downloads = scratch / "Downloads";
  fs::create_directories(downloads);
  fs::copy_file(env("TESSAVIN_SERVER"), downloads / "TessavinServer.exe");
  const pid_t copy = start({wine, (downloads / "TessavinServer.exe").string()});
  int port = 0;
  ASSERT_TRUE(eventually(
      [&] {
        port = std::atoi(read_file(downloads / "service_port.txt").c_str());
        return port != 0 && ping(port) == ping_answer("1.5.0");
      },
      30s));

  install(env("TESSAVIN_SETUP"));
  EXPECT_TRUE(fs::exists(install_dir / "TessavinServer.exe"));
  EXPECT_EQ(values_of(kUninstallKey)["DisplayVersion"], "1.5.0");
  EXPECT_TRUE(alive(copy));
  EXPECT_EQ(ping(port), ping_answer("1.5.0"));
  // It found the copy running and ended; no port file of its own.
  EXPECT_TRUE(eventually([&] { return installed_processes().empty(); }, 10s));
  EXPECT_FALSE(fs::exists(install_dir / "service_port.txt"));
}

TEST_F(Installer, SilentUninstallRemovesTheProgramAndKeepsTheData) {
  install(env("TESSAVIN_SETUP"));
  ASSERT_TRUE(eventually([&] { return installed_answers("1.5.0"); }, 30s));
  const auto files = put_user_data();
  // What a self-update leaves beside the exe.
  write_file(install_dir / "TessavinServer-update.txt", "TessavinServer 1.5.0\r\n...\r\n");
  write_file(install_dir / "TessavinServer-new.exe", "MZ");
  write_file(install_dir / "TessavinServer-update.bat", "@echo off\r\n");

  uninstall({});
  EXPECT_TRUE(eventually([&] { return installed_processes().empty(); }, 10s));
  EXPECT_EQ(serving_ports(), std::vector<int>{});
  const std::vector<std::string> left = {"data",
                                         "data/music",
                                         "data/music/Live",
                                         "data/music/Live/01 Intro.mp3",
                                         "data/settings.json",
                                         "data/\xE6\xAD\x8C\xE5\x8D\x95.json"};
  EXPECT_EQ(tree(install_dir), left);
  expect_user_data(files);
  EXPECT_EQ(values_of(kUninstallKey).size(), 0u);
  EXPECT_EQ(values_of(kRunKey).count("TessavinServer"), 0u);
}

// With /REMOVEDATA the folder goes as a whole; a link in the music folder
// goes with it, and the music it points at stays.
TEST_F(Installer, RemoveDataSwitchDeletesTheDataButNotWhatLinksPointAt) {
  install(env("TESSAVIN_SETUP"));
  ASSERT_TRUE(eventually([&] { return installed_answers("1.5.0"); }, 30s));
  put_user_data();
  const fs::path library = scratch / "Music Library";
  fs::create_directories(library / "Album");
  write_file(library / "Album" / "song.flac", "kept");
  fs::create_directory_symlink(library / "Album", install_dir / "data" / "music" / "Album");

  uninstall({"/REMOVEDATA"});
  EXPECT_TRUE(eventually([&] { return installed_processes().empty(); }, 10s));
  EXPECT_EQ(serving_ports(), std::vector<int>{});
  EXPECT_EQ(read_file(library / "Album" / "song.flac"), "kept");
  // Windows removes a link to a folder whatever the folder holds (the unit
  // test does so with a link Wine made itself); Wine cannot remove a Unix
  // symbolic link to a folder with files in it (ERROR_DIR_NOT_EMPTY), so
  // under Wine that link, and the folders holding it, are all that is left.
  const std::vector<std::string> left = {"data", "data/music", "data/music/Album"};
  std::vector<std::string> found;
  if (fs::exists(install_dir)) {
    for (const auto& entry : fs::recursive_directory_iterator(install_dir)) {
      found.push_back(entry.path().lexically_relative(install_dir).string());
    }
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, left);
  EXPECT_TRUE(fs::is_symlink(install_dir / "data" / "music" / "Album"));
  EXPECT_EQ(values_of(kUninstallKey).size(), 0u);
  EXPECT_EQ(values_of(kRunKey).count("TessavinServer"), 0u);
}

// The release host of the self-update's round trip, for one test.
struct ReleaseHost {
  pid_t pid = -1;
  explicit ReleaseHost(const fs::path& root) {
    std::istringstream ports(env("TESSAVIN_RELEASE_PORTS"));
    std::string http_port, https_port;
    ports >> http_port >> https_port;
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     env("TESSAVIN_RELEASE_SERVER"),
                                     root.string(),
                                     http_port,
                                     https_port,
                                     env("TESSAVIN_RELEASE_CERT"),
                                     env("TESSAVIN_RELEASE_KEY")};
    int ready[2];
    if (pipe(ready) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(ready[1], 1);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(ready[1]);
    // It prints a line once both ports listen.
    pollfd p{ready[0], POLLIN, 0};
    char buffer[16] = {};
    if (poll(&p, 1, 20000) <= 0 || read(ready[0], buffer, sizeof buffer - 1) <= 0) stop();
    close(ready[0]);
  }
  ~ReleaseHost() { stop(); }
  void stop() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

TEST_F(Installer, AppsAndFeaturesShowsTheVersionTheSelfUpdateInstalled) {
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  ASSERT_EQ(run_command({wine, env("TESSAVIN_TRUST_HELPER"), "Z:" + env("TESSAVIN_RELEASE_CERT")}),
            0);
  // Release 1.6.0, published as the release tooling does.
  const fs::path root = scratch / "release-host";
  fs::create_directories(root);
  std::istringstream ports(env("TESSAVIN_RELEASE_PORTS"));
  std::string http_port, https_port;
  ports >> http_port >> https_port;
  fs::copy_file(env("TESSAVIN_NEW_BUILD"), root / "TessavinServer-1.6.0.bin");
  const std::string manifest =
      output_of({env("TESSAVIN_RELEASE_TOOL"), "--platform", "windows-x86_64",
                 env("TESSAVIN_SIGNING_KEY"), "1.6.0",
                 "https://127.0.0.1:" + https_port + "/TessavinServer-1.6.0.bin",
                 (root / "TessavinServer-1.6.0.bin").string()});
  ASSERT_NE(manifest.find("\"signature\""), std::string::npos) << manifest;
  write_file(root / "manifest.json", manifest);
  ReleaseHost host(root);
  ASSERT_GT(host.pid, 0);

  unsetenv("ZELVO_NO_SELF_UPDATE");
  install(env("TESSAVIN_OLD_SETUP"));
  EXPECT_TRUE(eventually([&] { return installed_answers("1.6.0"); }, 180s))
      << read_file(install_dir / "TessavinServer-update.txt");
  EXPECT_EQ(read_file(install_dir / "TessavinServer.exe"), read_file(env("TESSAVIN_NEW_BUILD")));
  EXPECT_TRUE(
      eventually([&] { return values_of(kUninstallKey)["DisplayVersion"] == "1.6.0"; }, 20s))
      << values_of(kUninstallKey)["DisplayVersion"];
  EXPECT_EQ(values_of(kUninstallKey)["InstallLocation"], windows_install_dir);
}

}  // namespace
}  // namespace blackbox
