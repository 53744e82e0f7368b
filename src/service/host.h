#pragma once
#include <cstdint>

// The process: single-instance guard, then run_service. Returns the exit code:
// 0 when another instance runs, 1 when the service could not start.
int service_entry();

// Start-up, then this thread and the connection threads accept and serve.
// Returns only on failure, and then 1.
int run_service();

// How long an idle connection thread waits for a connection before it ends,
// unless it is the last one waiting.
inline constexpr unsigned kAcceptLingerMs = 2000;

// The ports tried, in order; the first that binds is kept.
inline constexpr std::uint16_t kFirstPort = 17632;
inline constexpr std::uint16_t kLastPort = 17641;
