#pragma once
// One "Range: bytes=first-last" request against a file of `size` bytes. Only
// a single range is served; anything not of the form "bytes=..-.." is ignored.
#include <cstdint>

#include "text/strings.h"

enum class RangeKind { whole, partial, unsatisfiable };

struct RangeAnswer {
  RangeKind kind = RangeKind::whole;
  std::uint64_t first = 0;  // set for partial answers
  std::uint64_t last = 0;   // inclusive, below size
};

RangeAnswer evaluate_range(const Utf8String& range, std::uint64_t size);
