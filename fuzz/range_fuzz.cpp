// Range evaluation for any header and any file size. Input: eight bytes of
// size (little-endian), then the Range header's value.
#include "check.h"
#include "music/range.h"
#include "text/json.h"

namespace {

// A number field as the range reader takes it: -1 unless plain digits up to 2^50.
std::int64_t field(const std::string& text) { return parse_decimal(text, -1); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint64_t file_size = 0;
  for (int i = 7; i >= 0; --i) file_size = file_size << 8 | data[i];
  const std::string range(reinterpret_cast<const char*>(data) + 8, size - 8);

  const RangeAnswer answer = evaluate_range(range, file_size);
  const std::size_t dash = range.rfind("bytes=", 0) == 0 ? range.find('-', 6) : std::string::npos;
  if (dash == std::string::npos) {
    FUZZ_CHECK(answer.kind == RangeKind::whole);
    return 0;
  }
  FUZZ_CHECK(answer.kind != RangeKind::whole);
  if (answer.kind != RangeKind::partial) return 0;
  // A partial answer lies inside the file.
  FUZZ_CHECK(answer.first <= answer.last && answer.last < file_size);
  const std::int64_t first = field(range.substr(6, dash - 6));
  const std::int64_t last = field(range.substr(dash + 1));
  if (first >= 0) {
    FUZZ_CHECK(answer.first == static_cast<std::uint64_t>(first));
  } else if (last >= 0) {
    // The suffix form: the file's last `last` bytes, or all of a shorter file.
    // Sizes count up to 2^63 - 1 at most; no file comes near it.
    const std::uint64_t counted = file_size > INT64_MAX ? INT64_MAX : file_size;
    FUZZ_CHECK(answer.last == counted - 1);
    const std::uint64_t wanted = static_cast<std::uint64_t>(last);
    FUZZ_CHECK(answer.last - answer.first + 1 == (wanted < counted ? wanted : counted));
  }
  return 0;
}
