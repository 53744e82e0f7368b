// The four JSON extractors over arbitrary text, and json_get_string on a
// document built with json_escape. Input: a key, a zero byte, then the text.
#include "check.h"
#include "text/json.h"

namespace {

constexpr std::int64_t kLargestMagnitude = std::int64_t{1} << 50;

bool has_key(const std::string& text, const std::string& key) {
  return text.find("\"" + key + "\"") != std::string::npos;
}

void check_extractors(const std::string& text, const std::string& key) {
  bool flag = false;
  if (json_get_bool(text, key, flag)) {
    FUZZ_CHECK(has_key(text, key));
    FUZZ_CHECK(text.find(flag ? "true" : "false") != std::string::npos);
  }
  std::int64_t number = 0;
  if (json_get_int(text, key, number)) {
    FUZZ_CHECK(has_key(text, key));
    FUZZ_CHECK(number >= -kLargestMagnitude && number <= kLargestMagnitude);
  }
  std::string value;
  if (json_get_string(text, key, value)) {
    FUZZ_CHECK(has_key(text, key));
    FUZZ_CHECK(value.size() <= text.size());
  }
  std::string object;
  if (json_get_object(text, key, object)) {
    FUZZ_CHECK(has_key(text, key));
    FUZZ_CHECK(object.size() >= 2 && object.front() == '{' && object.back() == '}');
    FUZZ_CHECK(text.find(object) != std::string::npos);
  }
}

// Of the control bytes, the string reader decodes only tab, LF and CR.
bool survives_escaping(const std::string& value) {
  for (const char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

// A value written with json_escape under a key without quotes reads back whole.
void check_round_trip(const std::string& key, const std::string& value) {
  if (key.find('"') != std::string::npos || !survives_escaping(value)) return;
  const std::string document = "{\"" + key + "\":\"" + json_escape(value) + "\",\"x\":1}";
  std::string read;
  FUZZ_CHECK(json_get_string(document, key, read));
  FUZZ_CHECK(read == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string key;
  std::string text;
  split_at_zero(data, size, key, text);
  check_extractors(text, key);
  check_round_trip(key, text);
  return 0;
}
