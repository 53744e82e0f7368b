#pragma once
// One connection to the sound server for the time of one request, on a main
// loop of its own: nothing is shared between requests or threads. Every wait
// is bounded by one deadline per session, so a server that accepts and then
// stalls cannot hold a request for long.
#include <chrono>

#include "audio/posix/pulse_library.h"

inline constexpr std::chrono::milliseconds kPulseSessionBudget{2000};

struct PulseSession {
  const PulseLibrary* pa = nullptr;  // the client library, once connected
  pa_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  std::chrono::steady_clock::time_point deadline;
};

// Connects to the server the client library's usual lookup names (never
// starting one); true once the connection is ready. On false the session
// holds nothing (also when the client library cannot be opened), on true
// pulse_disconnect must follow.
bool pulse_connect(PulseSession& session);
void pulse_disconnect(PulseSession& session);

// Runs the loop until `done` is set by the operation's callback; false when
// the operation could not start (nullptr), the connection failed or the
// deadline passed. Takes over the operation: an unfinished one is cancelled,
// so its callback never runs later.
bool pulse_wait(PulseSession& session, pa_operation* operation, const bool& done);
