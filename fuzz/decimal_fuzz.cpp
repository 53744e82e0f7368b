// parse_decimal against the obvious reading of a digit string.
#include "check.h"
#include "text/json.h"

namespace {

constexpr std::int64_t kFallback = -7;
const std::string kLargest = "1125899906842624";  // 2^50

// Whether `text` is a nonempty run of digits whose value is at most 2^50.
bool in_range(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const std::size_t nonzero = text.find_first_not_of('0');
  const std::string digits = nonzero == std::string::npos ? "0" : text.substr(nonzero);
  return digits.size() < kLargest.size() || (digits.size() == kLargest.size() && digits <= kLargest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int64_t value = parse_decimal(text, kFallback);
  if (!in_range(text)) {
    FUZZ_CHECK(value == kFallback);
    return 0;
  }
  FUZZ_CHECK(value >= 0);
  // The value printed back is the input without its leading zeros.
  const std::size_t nonzero = text.find_first_not_of('0');
  FUZZ_CHECK(std::to_string(value) == (nonzero == std::string::npos ? "0" : text.substr(nonzero)));
  return 0;
}
