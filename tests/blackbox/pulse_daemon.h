#pragma once
// A sound server of the test's own: the distribution's PulseAudio daemon in a
// private runtime directory, with one null sink and a socket that takes
// clients without a cookie. Started by the constructor, stopped (and its
// directory removed) by the destructor, so no daemon outlives a test run.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace blackbox {

struct CommandResult {
  int exit_code = -1;
  std::string output;  // standard output
};

class PulseDaemon {
 public:
  PulseDaemon();
  ~PulseDaemon();
  PulseDaemon(const PulseDaemon&) = delete;
  PulseDaemon& operator=(const PulseDaemon&) = delete;

  // True once the daemon answers its control tool.
  bool ready() const { return ready_; }
  // What the daemon wrote, for a failure message.
  std::string log() const;
  // The address for PULSE_SERVER.
  std::string server() const { return "unix:" + (dir_ / "native").string(); }
  // Runs the control tool (pactl) against this daemon.
  CommandResult pactl(const std::vector<std::string>& args) const;

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

// A socket that takes connections and never says a word, as a hung server would.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  std::string server() const { return "unix:" + path_.string(); }

 private:
  std::filesystem::path dir_;
  std::filesystem::path path_;
  int fd_ = -1;
};

}  // namespace blackbox
