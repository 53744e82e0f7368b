#include <csignal>

#include "service/host.h"

// Arguments are ignored and nothing is printed, as on Windows.
int main() {
  // Sends use MSG_NOSIGNAL; this also covers any other write to a closed peer.
  std::signal(SIGPIPE, SIG_IGN);
  return service_entry();
}
