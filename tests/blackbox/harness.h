#pragma once
// Starts the real service binary (natively, or the Windows exe under Wine) in
// a fresh directory and talks raw bytes to it over loopback.
//
// Environment: TESSAVIN_SERVER is the binary to copy and run; TESSAVIN_WINE,
// when set, is the Wine loader to run it with (in a prefix of this run's own).
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace blackbox {

using std::chrono::milliseconds;

bool under_wine();
bool sanitized();

// A directory holding a copy of the service binary, removed at the end.
struct Install {
  std::filesystem::path root;  // holds `app` and the service's stderr
  std::filesystem::path app;   // the base directory
  std::filesystem::path binary;

  // `base_directory` is where the binary goes, relative to `root`.
  explicit Install(const std::filesystem::path& base_directory = "app");
  ~Install();
  Install(const Install&) = delete;
  Install& operator=(const Install&) = delete;
  std::filesystem::path stderr_path() const { return root / "stderr.txt"; }
  // Every file and directory under the base directory, relative to it.
  std::vector<std::string> tree() const;
};

struct StartOptions {
  std::size_t address_space_limit = 0;  // RLIMIT_AS in bytes, 0 for none
  // Variables set for the service (and Wine) on top of the test's own.
  std::vector<std::pair<std::string, std::string>> environment{};
  bool self_update = false;  // else ZELVO_NO_SELF_UPDATE is set
};

// One run of the service. Killed at the end if it still runs.
struct Service {
  const Install& install;
  pid_t pid = -1;
  int exit_code = -1;

  explicit Service(const Install& install, StartOptions options = {});
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The port from the port file once the service answers on it; 0 if it
  // never does within the limit.
  int wait_until_serving(milliseconds limit = milliseconds(30000));
  // The exit code once the process ended by itself within the limit, else -1.
  int wait_for_exit(milliseconds limit);
  bool running();
  void kill();
};

// What came back on one connection.
struct Exchange {
  std::string received;
  bool closed = false;  // the service closed (EOF or reset) within the limit
};

// A client connection to 127.0.0.1:port.
struct Client {
  int fd = -1;
  explicit Client(int port);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  bool connected() const { return fd >= 0; }
  // False once the peer no longer takes bytes.
  bool send(const std::string& bytes);
  void finish_sending();  // half-close: the service sees the end of input
  // Reads until the service closes or `limit` passes.
  Exchange read_all(milliseconds limit = milliseconds(20000));
  // True when some bytes arrive (or the service closes) within `limit`.
  bool anything_within(milliseconds limit);
};

// Sends `request` on a new connection and reads the whole answer.
Exchange exchange(int port, const std::string& request);

// Starts a program with its output going nowhere; its process id.
pid_t start_command(const std::vector<std::string>& argv);

// Runs a program to its end with its output going nowhere; its exit code,
// or -1 when it did not exit normally.
int run_command(const std::vector<std::string>& argv);

// The environment variable's value; empty when it is not set.
std::string env(const char* name);

// Checks `condition` every `interval` until it holds (true) or `limit` has
// passed (false).
bool eventually(const std::function<bool()>& condition, milliseconds limit,
                milliseconds interval = milliseconds(100));

// The ping answer of a build that reports `version`.
std::string ping_answer(const std::string& version);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);

// A listening socket on 127.0.0.1:port held by the test, as another program would.
struct PortHolder {
  int fd = -1;
  explicit PortHolder(int port);
  ~PortHolder();
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
};

}  // namespace blackbox
