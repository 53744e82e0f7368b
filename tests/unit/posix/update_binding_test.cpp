// The POSIX binding's own names and its swap script, run by sh over stand-in
// builds (small shell scripts) in a temporary directory; the real builds go
// through it in the black-box round trip.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "environment.h"
#include "temp_dir.h"
#include "text/utf.h"
#include "update/update_ops.h"

void set_environment(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

namespace {

namespace fs = std::filesystem;

TEST(PosixUpdateBinding, NamesTheFilesBesideTheExecutable) {
  const UpdateOps& ops = native_update_ops();
  EXPECT_EQ(WideString(ops.new_executable_name), u"TessavinServer-new");
  EXPECT_EQ(WideString(ops.swap_script_name), u"TessavinServer-update.sh");
  const std::string script = ops.swap_script_text;
  EXPECT_EQ(script.rfind("#!/bin/sh\n", 0), 0u);
  EXPECT_EQ(script.find('\r'), std::string::npos);
  EXPECT_EQ(std::string(ops.platform_name), "linux-x86_64");
  EXPECT_EQ(std::string(ops.manifest_entry), "tessavin-server-linux-x86_64");
  EXPECT_EQ(ops.executable_kind, ExecutableKind::elf_x86_64);
}

// A stand-in build: notes that it ran (with the switch-off variable's value),
// then stays up or exits with `exit_code`.
std::string stand_in(const std::string& name, int exit_code = -1) {
  std::string text = "#!/bin/sh\necho \"" + name + " ${ZELVO_NO_SELF_UPDATE:-on}\" >>ran.txt\n";
  if (exit_code >= 0) return text + "exit " + std::to_string(exit_code) + "\n";
  return text + "echo $$ >" + name + ".pid\nexec sleep 60\n";
}

class SwapScript : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string old_build = stand_in("old");
  const std::string log_before = "TessavinServer 1.5.0\r\n新版本 1.6.0 已下载，正在重启…\r\n";

  ~SwapScript() override {
    for (const char* name : {"old.pid", "new.pid"}) {
      const int pid = std::atoi(read_file(dir.path / name).c_str());
      if (pid > 0) kill(pid, SIGKILL);
    }
  }

  // Runs the script as the service would leave it, once the service (here a
  // process already gone) has ended; its exit code.
  int swap_to(const std::string& new_build) {
    write_file(dir.path / "TessavinServer", old_build);
    fs::permissions(dir.path / "TessavinServer", fs::perms(0755));
    write_file(dir.path / "TessavinServer-new", new_build);
    write_file(dir.path / "TessavinServer-update.txt", log_before);
    const fs::path script = dir.path / "TessavinServer-update.sh";
    write_file(script, native_update_ops().swap_script_text);
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string command =
        "sh '" + script.string() + "' " + std::to_string(gone) + " >/dev/null 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ran() const { return read_file(dir.path / "ran.txt"); }
  bool eventually_ran(const std::string& expected) const {
    for (int i = 0; i < 100 && ran() != expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ran() == expected;
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const std::string& name : dir.names()) {
      if (name != "ran.txt" && name.find(".pid") == std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(SwapScript, KeepsANewBuildThatStaysUp) {
  const std::string new_build = stand_in("new");
  EXPECT_EQ(swap_to(new_build), 0);
  EXPECT_EQ(read_file(dir.path / "TessavinServer"), new_build);
  EXPECT_EQ(fs::status(dir.path / "TessavinServer").permissions() & fs::perms::all,
            fs::perms(0755));
  EXPECT_EQ(files(), (std::vector<std::string>{"TessavinServer", "TessavinServer-update.txt"}));
  EXPECT_EQ(ran(), "new on\n");
  EXPECT_EQ(read_file(dir.path / "TessavinServer-update.txt"), log_before);
}

TEST_F(SwapScript, KeepsANewBuildThatFindsAnotherInstanceServing) {
  const std::string new_build = stand_in("new", 0);
  EXPECT_EQ(swap_to(new_build), 0);
  EXPECT_EQ(read_file(dir.path / "TessavinServer"), new_build);
  EXPECT_EQ(files(), (std::vector<std::string>{"TessavinServer", "TessavinServer-update.txt"}));
}

// What this guards against: a release for another platform, moved over the
// executable, fails with "Exec format error", and no service is left.
TEST_F(SwapScript, PutsTheOldBuildBackWhenTheNewOneFails) {
  const struct {
    const char* what;
    std::string build;
  } cases[] = {
      {"exits with 1 at once", stand_in("new", 1)},
      {"is no program this system runs", std::string("MZ\x90\0\x03\0\0\0\x04\0", 10) + "PE"},
  };
  for (const auto& c : cases) {
    fs::remove(dir.path / "ran.txt");
    EXPECT_EQ(swap_to(c.build), 1) << c.what;
    EXPECT_EQ(read_file(dir.path / "TessavinServer"), old_build) << c.what;
    // The old build runs again, with its self-update off for that run.
    EXPECT_TRUE(eventually_ran(c.build == stand_in("new", 1) ? "new on\nold 1\n" : "old 1\n"))
        << c.what << ": " << ran();
    EXPECT_EQ(files(), (std::vector<std::string>{"TessavinServer", "TessavinServer-update.txt"}))
        << c.what;
    EXPECT_EQ(read_file(dir.path / "TessavinServer-update.txt"),
              "TessavinServer 1.5.0\r\n新版本无法启动，已恢复为原来的版本。\r\n")
        << c.what;
    const int old_pid = std::atoi(read_file(dir.path / "old.pid").c_str());
    if (old_pid > 0) kill(old_pid, SIGKILL);
    fs::remove(dir.path / "old.pid");
  }
}

}  // namespace
