#include "pulse_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "harness.h"

namespace blackbox {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

fs::path make_temp_dir(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) return {};
  return pattern;
}

[[noreturn]] void exec(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// Waits for the child up to `limit`; false if it is still running then.
bool reap(pid_t pid, std::chrono::milliseconds limit, int* status = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int ignored = 0;
  while (waitpid(pid, status ? status : &ignored, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

}  // namespace

PulseDaemon::PulseDaemon() : dir_(make_temp_dir("tessavin-pulse")) {
  const std::string log_path = (dir_ / "daemon.log").string();
  pid_ = fork();
  if (pid_ == 0) {
    // Dies with the test, should the test die first, and holds none of its
    // descriptors (such as the port-range lock).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close_range(3, ~0U, 0);
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    unsetenv("PULSE_SERVER");
    const int null = open("/dev/null", O_RDONLY);
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(null, 0);
    dup2(log, 1);
    dup2(log, 2);
    // No configuration script (-n): exactly the modules named here. The
    // daemon runs as whoever runs the tests, root included.
    exec({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
          "--load=module-null-sink sink_name=tessavin_null "
          "sink_properties=device.description=Tessavin-Null",
          "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
              (dir_ / "native").string()});
  }
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
    if (pactl({"info"}).exit_code == 0) {
      ready_ = true;
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;  // it gave up; the log says why
      return;
    }
    std::this_thread::sleep_for(50ms);
  }
}

PulseDaemon::~PulseDaemon() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!reap(pid_, 5000ms)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string PulseDaemon::log() const { return read_file(dir_ / "daemon.log"); }

CommandResult PulseDaemon::pactl(const std::vector<std::string>& args) const {
  CommandResult result;
  int out[2];
  if (pipe(out) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("PULSE_SERVER", server().c_str(), 1);
    setenv("LC_ALL", "C", 1);
    setenv("HOME", dir_.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out[1], 1);
    dup2(null, 2);
    close(out[0]);
    close(out[1]);
    std::vector<std::string> argv{"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    exec(argv);
  }
  close(out[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
    result.output.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

SilentServer::SilentServer() : dir_(make_temp_dir("tessavin-silent")), path_(dir_ / "native") {
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd_, 16) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

SilentServer::~SilentServer() {
  if (fd_ >= 0) close(fd_);
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

}  // namespace blackbox
