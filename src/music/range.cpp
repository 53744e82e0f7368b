#include "music/range.h"

#include "text/json.h"

RangeAnswer evaluate_range(const Utf8String& range, std::uint64_t size) {
  const auto equals = range.find('=');
  if (equals == Utf8String::npos || range.compare(0, equals, "bytes") != 0) return {};
  const auto dash = range.find('-', equals + 1);
  if (dash == Utf8String::npos) return {};
  // Each number is at most 2^50, so the arithmetic below stays in range.
  const std::int64_t first_number = parse_decimal(range.substr(equals + 1, dash - equals - 1), -1);
  const std::int64_t last_number = parse_decimal(range.substr(dash + 1), -1);
  const std::int64_t n = size > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(size);

  std::int64_t first = 0;
  std::int64_t last = n - 1;
  if (first_number >= 0) {
    first = first_number;
    if (last_number >= 0) last = last_number;
  } else if (last_number >= 0) {
    first = last_number < n ? n - last_number : 0;  // the suffix form: the last bytes
  }
  if (first >= n || last < first) return {RangeKind::unsatisfiable};
  if (last > n - 1) last = n - 1;
  return {RangeKind::partial, static_cast<std::uint64_t>(first), static_cast<std::uint64_t>(last)};
}
