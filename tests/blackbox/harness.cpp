#include "harness.h"

#include "answers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace blackbox {
namespace fs = std::filesystem;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool eventually(const std::function<bool()>& condition, milliseconds limit,
                milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(interval);
  }
  return true;
}

std::string ping_answer(const std::string& version) {
  std::string answer = expected::kPing;
  answer.replace(answer.find("1.5.0"), 5, version);
  return answer;
}

namespace {

fs::path make_temp_dir(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) return {};
  return pattern;
}

// Wine runs get a prefix of their own, made once for the whole suite.
class WinePrefix : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!under_wine()) return;
    prefix_ = make_temp_dir("tessavin-wineprefix");
    setenv("WINEPREFIX", prefix_.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    // Keep Wine on ALSA even where a sound server is reachable.
    setenv("PULSE_SERVER", "unix:/nonexistent", 1);
    ASSERT_EQ(run_command({env("TESSAVIN_WINE"), "wineboot", "--init"}), 0);
  }
  void TearDown() override {
    if (prefix_.empty()) return;
    const fs::path server = fs::path(env("TESSAVIN_WINE")).parent_path() / "wineserver";
    run_command({server.string(), "-k"});
    std::error_code ignored;
    fs::remove_all(prefix_, ignored);
  }

 private:
  fs::path prefix_;
};

const auto* const kWinePrefix = ::testing::AddGlobalTestEnvironment(new WinePrefix);

constexpr int kFirstPort = 17632;
constexpr int kLastPort = 17641;

constexpr char kAlreadyRunning[] =
    "The service exited at once with code 0, which is what it does when another instance "
    "already runs as this user in this login session (a scripts/run of yours, or one started "
    "at login, is enough). These tests start the service themselves: stop that instance and "
    "run them again.";

// Every start of the service here must be the only instance of its user and
// session, on a port range of its own. One started elsewhere, such as a
// developer's scripts/run, would make each start exit 0 as already running
// and each round trip fail with nothing to go on; so say it once, up front.
class NoOtherService : public ::testing::Environment {
 public:
  void SetUp() override {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
      Client client(port);
      if (!client.connected()) continue;
      client.send("GET /api/ping HTTP/1.1\r\n\r\n");
      if (client.read_all(milliseconds(2000)).received.find("zelvo-tessavin") !=
          std::string::npos) {
        FAIL() << "Another instance of the service already answers on 127.0.0.1:" << port
               << ". These tests start the service themselves and need the port range "
               << kFirstPort << "-" << kLastPort
               << " and the per-user single-instance guard to themselves: stop that instance "
                  "(a scripts/run of yours, or one started at login) and run them again.";
      }
    }
  }
};

const auto* const kNoOtherService = ::testing::AddGlobalTestEnvironment(new NoOtherService);

void close_abortively(int fd) {
  // An abortive close leaves no TIME_WAIT behind on the service's port, which
  // would otherwise push later starts up the port range.
  linger abort{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(fd);
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  return address;
}

}  // namespace

bool under_wine() { return !env("TESSAVIN_WINE").empty(); }
bool sanitized() { return env("TESSAVIN_SANITIZED") == "1"; }

Install::Install(const fs::path& base_directory) {
  root = make_temp_dir("tessavin-blackbox");
  app = root / base_directory;
  fs::create_directories(app);
  const fs::path source = env("TESSAVIN_SERVER");
  if (source.empty()) throw std::runtime_error("TESSAVIN_SERVER names no binary to test");
  binary = app / source.filename();
  fs::copy_file(source, binary);
}

Install::~Install() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

std::vector<std::string> Install::tree() const {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(app)) {
    found.push_back(fs::relative(entry.path(), app).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

Service::Service(const Install& where, StartOptions options) : install(where) {
  std::vector<std::string> argv;
  if (under_wine()) argv.push_back(env("TESSAVIN_WINE"));
  argv.push_back(install.binary.string());
  const std::string errors = install.stderr_path().string();
  const pid_t test = getpid();
  pid = fork();
  if (pid == 0) {
    // Should the test die without stopping it, the service goes too, rather
    // than staying on to make every later start exit as already running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != test) _exit(125);
    // Outside the base directory, so that a relative fallback would show.
    if (chdir(install.root.c_str()) != 0) _exit(126);
    if (options.address_space_limit) {
      rlimit limit{options.address_space_limit, options.address_space_limit};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (options.self_update)
      unsetenv("ZELVO_NO_SELF_UPDATE");
    else
      setenv("ZELVO_NO_SELF_UPDATE", "1", 1);
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(null, 0);
    dup2(under_wine() ? null : err, 1);
    dup2(under_wine() ? null : err, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
}

Service::~Service() { kill(); }

bool Service::running() {
  if (pid < 0) return false;
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == pid) {
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid = -1;
    return false;
  }
  return true;
}

int Service::wait_for_exit(milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (running()) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return exit_code;
}

int Service::wait_until_serving(milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const fs::path port_file = install.app / "service_port.txt";
  for (;;) {
    if (!running()) {
      // Exit code 0 before serving is the service's answer to another
      // instance holding the single-instance guard.
      if (exit_code == 0) ADD_FAILURE() << kAlreadyRunning;
      return 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) return 0;
    const std::string digits = read_file(port_file);
    if (digits.size() == 5) {
      const int port = std::atoi(digits.c_str());
      if (exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received.find("zelvo-tessavin") !=
          std::string::npos) {
        return port;
      }
    }
    std::this_thread::sleep_for(milliseconds(50));
  }
}

void Service::kill() {
  if (!running()) return;
  ::kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

Client::Client(int port) {
  fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    fd = -1;
  }
}

Client::~Client() {
  if (fd >= 0) close_abortively(fd);
}

bool Client::send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void Client::finish_sending() { shutdown(fd, SHUT_WR); }

Exchange Client::read_all(milliseconds limit) {
  Exchange result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buffer[65536];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return result;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      result.closed = true;
      return result;
    }
    result.received.append(buffer, static_cast<std::size_t>(n));
  }
}

bool Client::anything_within(milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(limit.count())) > 0;
}

Exchange exchange(int port, const std::string& request) {
  Client client(port);
  if (!client.connected()) return {};
  client.send(request);
  return client.read_all();
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

PortHolder::PortHolder(int port) {
  fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in address = loopback(port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 4) != 0) {
    close(fd);
    fd = -1;
  }
}

PortHolder::~PortHolder() {
  if (fd >= 0) close(fd);
}

pid_t start_command(const std::vector<std::string>& argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int run_command(const std::vector<std::string>& argv) {
  const pid_t pid = start_command(argv);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace blackbox
