#include "text/json.h"

namespace {

constexpr std::int64_t kDecimalCap = std::int64_t{1} << 50;

}  // namespace

std::int64_t parse_decimal(const Utf8String& text, std::int64_t fallback) {
  if (text.empty()) return fallback;
  std::int64_t value = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9') return fallback;
    const std::int64_t digit = ch - '0';
    // Checked before multiplying so no input length can overflow the type.
    if (value > (kDecimalCap - digit) / 10) return fallback;
    value = value * 10 + digit;
  }
  return value;
}
