// The switch-off variable, the swap script's start and the end of the process
// on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "text/utf.h"
#include "update/binding.h"

extern char** environ;

bool native_update::switched_off() { return std::getenv("ZELVO_NO_SELF_UPDATE") != nullptr; }

// The script runs in a session of its own, so that it outlives the service
// and no signal meant for the service's group reaches it. It learns which
// process to wait for from its first argument.
bool native_update::start_swap_script(const WideString& script_path, const WideString&) {
  const std::string script = utf16_to_utf8(script_path);
  const std::string service = std::to_string(getpid());
  char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>(script.c_str()),
                        const_cast<char*>(service.c_str()), nullptr};

  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    posix_spawnattr_destroy(&attributes);
    return false;
  }
  sigset_t none;
  sigset_t piped;
  sigemptyset(&none);
  sigemptyset(&piped);
  sigaddset(&piped, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &piped);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

  pid_t child = -1;
  const int error = posix_spawn(&child, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error == 0;
}

// No static destructors or exit handlers run while other threads still serve.
void native_update::exit_process(int code) { _exit(code); }
