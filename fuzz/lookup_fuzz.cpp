// Header and query lookups over arbitrary bytes. Input: a name, a zero byte,
// then the text (used both as a request head and as a request target).
#include "check.h"
#include "http/lookup.h"

namespace {

void check_percent_decode(const std::string& text) {
  const std::string decoded = percent_decode(text);
  FUZZ_CHECK(decoded.size() <= text.size());
  if (text.find_first_of("%+") == std::string::npos) FUZZ_CHECK(decoded == text);
}

void check_query_param(const std::string& target, const std::string& name) {
  const std::string value = query_param(target, name);
  FUZZ_CHECK(value.size() <= target.size());
  if (!value.empty()) {
    const std::size_t mark = target.find('?');
    FUZZ_CHECK(mark != std::string::npos);
    FUZZ_CHECK(target.find(name + "=", mark + 1) != std::string::npos);
  }
}

void check_header_value(const std::string& head, const std::string& name) {
  const std::string value = header_value(head, name);
  FUZZ_CHECK(head.find(value) != std::string::npos);
  FUZZ_CHECK(value.find("\r\n") == std::string::npos);
  if (!value.empty()) FUZZ_CHECK(value[0] != ' ' && value[0] != '\t');
}

void check_content_length(const std::string& head) {
  const std::int64_t length = parse_content_length(head);
  FUZZ_CHECK(length == kContentLengthOverCap || (length >= 0 && length <= kContentLengthCap));
  // A length found is written in the head, perhaps after leading zeros.
  if (length > 0) FUZZ_CHECK(head.find(std::to_string(length)) != std::string::npos);
  // The name is what a value hangs on: without it, there is no length.
  std::string lowered = head;
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  if (lowered.find("content-length:") == std::string::npos) FUZZ_CHECK(length == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string name;
  std::string text;
  split_at_zero(data, size, name, text);
  check_percent_decode(text);
  check_query_param(text, name);
  check_header_value(text, name);
  check_content_length(text);
  return 0;
}
