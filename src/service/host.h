#pragma once
#include <cstdint>

// The process: single-instance guard, then run_service. Returns the exit code:
// 0 when another instance runs, 1 when the service could not start.
int service_entry();

// Start-up and the accept loop. Returns only on failure, and then 1.
int run_service();

// The ports tried, in order; the first that binds is kept.
inline constexpr std::uint16_t kFirstPort = 17632;
inline constexpr std::uint16_t kLastPort = 17641;
