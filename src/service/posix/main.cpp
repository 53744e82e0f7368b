#include <sys/resource.h>

#include <csignal>

#include "service/host.h"

namespace {

// Every connection holds a descriptor until it is served or timed out. Under
// the common soft limit of 1,024 a crowd of slow clients would leave none for
// the next connection, a ping included, long before threads or memory run
// out; the hard limit is what this user may have, so take all of it.
void raise_open_file_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

// Arguments are ignored and nothing is printed, as on Windows.
int main() {
  // Sends use MSG_NOSIGNAL; this also covers any other write to a closed peer.
  std::signal(SIGPIPE, SIG_IGN);
  raise_open_file_limit();
  return service_entry();
}
