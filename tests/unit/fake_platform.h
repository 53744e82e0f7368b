#pragma once
// Test doubles at the platform seam: a table that starts as the native one
// and has members swapped, and one scripted peer behind a fake socket.
#include <string>
#include <vector>

#include "service/platform.h"

// Installs `ops` for the life of the object, then restores the native table.
struct PlatformOverride {
  PlatformOps ops = native_platform();
  PlatformOverride() { set_platform(&ops); }
  ~PlatformOverride() { set_platform(nullptr); }
  PlatformOverride(const PlatformOverride&) = delete;
  PlatformOverride& operator=(const PlatformOverride&) = delete;
};

// What the peer of the fake socket sends, and what it got.
struct ScriptedPeer {
  std::vector<std::string> chunks;  // handed out in order, each split to fit a receive
  long after_chunks = 0;            // receive result once they are used up: 0 closed, -1 error
  std::size_t next = 0;
  std::size_t offset = 0;

  std::string received;  // every byte the service sent
  int send_calls = 0;    // gather sends included
  int gathered_sends = 0;
  int failing_send = -1;       // 1-based call from which on every send fails
  long send_limit = 1L << 30;  // most bytes one send takes
  int closes = 0;
  int shutdowns = 0;                     // of the sending direction
  std::size_t sent_before_shutdown = 0;  // bytes in `received` at the first one
  unsigned timeout_ms = 0;               // the last set_timeouts value

  // Time, on a fake clock that only the peer's receives move: chunk i
  // arrives gaps_ms[i] (0 when not given) after the receive that asks for it
  // starts. When the gap exceeds the socket's receive time-out (0: none) the
  // receive waits that long and fails as a time-out would.
  std::vector<unsigned> gaps_ms;
  std::uint64_t clock_ms = 0;
  unsigned receive_timeout_ms = 0;
  std::vector<unsigned> receive_timeouts;  // every set_receive_timeout value
};

inline constexpr Socket kFakeSocket = 42;

// The single peer that the fake socket operations talk to; reset per test.
ScriptedPeer& peer();

// Points the socket and clock members of `ops` at the scripted peer and
// resets it.
void use_scripted_peer(PlatformOps& ops);
