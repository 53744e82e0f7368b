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

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

void check_content_length(const std::string& head) {
  const ContentLength found = parse_content_length(head);
  if (found.framing == BodyFraming::length) {
    FUZZ_CHECK(found.length >= 0 && found.length <= kContentLengthCap);
  } else {
    FUZZ_CHECK(found.length == 0);
  }
  const std::string low = lowered(head);
  // The fields are what a framing hangs on: without their names, no body.
  if (low.find("content-length") == std::string::npos &&
      low.find("transfer-encoding") == std::string::npos) {
    FUZZ_CHECK(found.framing == BodyFraming::length && found.length == 0);
  }
  // A length found is written in the head (perhaps after leading zeros) on
  // a line that starts with the field's name.
  if (found.length > 0) {
    FUZZ_CHECK(head.find(std::to_string(found.length)) != std::string::npos);
    FUZZ_CHECK(low.find("\ncontent-length") != std::string::npos);
  }
  if (found.framing == BodyFraming::transfer_coding) {
    FUZZ_CHECK(low.find("\ntransfer-encoding") != std::string::npos);
  }
  // The request line never counts: whatever it holds, the same framing.
  const std::size_t line_end = head.find('\n');
  const std::string other_line =
      "PUT /content-length:7?transfer-encoding:chunked HTTP/1.1\r" +
      (line_end == std::string::npos ? std::string() : head.substr(line_end));
  const ContentLength again = parse_content_length(other_line);
  FUZZ_CHECK(again.framing == found.framing && again.length == found.length);
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
