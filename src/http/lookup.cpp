#include "http/lookup.h"

#include "text/hex.h"

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

Utf8String ascii_lowered(const Utf8String& text) {
  Utf8String lowered(text);
  for (char& c : lowered) c = ascii_lower(c);
  return lowered;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// One Content-Length value: digits between optional blanks, its value kept
// only up to just past the cap.
ContentLength read_length_value(const Utf8String& line, std::size_t from) {
  std::size_t end = line.size();
  while (from < end && is_blank(line[from])) ++from;
  while (end > from && is_blank(line[end - 1])) --end;
  if (from == end) return {BodyFraming::bad_length, 0};
  std::int64_t value = 0;
  for (std::size_t i = from; i < end; ++i) {
    if (!is_digit(line[i])) return {BodyFraming::bad_length, 0};
    if (value <= kContentLengthCap) value = value * 10 + (line[i] - '0');
  }
  if (value > kContentLengthCap) return {BodyFraming::over_cap, 0};
  return {BodyFraming::length, value};
}

}  // namespace

ContentLength parse_content_length(const Utf8String& head) {
  static const Utf8String kLength = "content-length";
  static const Utf8String kCoding = "transfer-encoding";
  ContentLength found;
  int lengths = 0;
  bool coded = false;
  bool last_was_length = false;
  // The request line comes first and is no header line.
  std::size_t start = head.find('\n');
  while (start != Utf8String::npos) {
    ++start;
    std::size_t stop = head.find('\n', start);
    Utf8String line =
        head.substr(start, stop == Utf8String::npos ? Utf8String::npos : stop - start);
    start = stop;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && is_blank(line[0])) {
      // A continuation would add to the value above it.
      if (last_was_length) found.framing = BodyFraming::bad_length;
      continue;
    }
    last_was_length = false;
    const std::size_t colon = line.find(':');
    if (colon == Utf8String::npos) continue;
    std::size_t name_end = colon;
    while (name_end > 0 && is_blank(line[name_end - 1])) --name_end;
    const Utf8String name = ascii_lowered(line.substr(0, name_end));
    if (name == kCoding) {
      coded = true;
    } else if (name == kLength) {
      last_was_length = true;
      if (++lengths > 1 || name_end != colon) {
        found.framing = BodyFraming::bad_length;
      } else {
        found = read_length_value(line, colon + 1);
      }
    }
  }
  if (coded) return {BodyFraming::transfer_coding, 0};
  if (found.framing != BodyFraming::length) found.length = 0;
  return found;
}

Utf8String header_value(const Utf8String& head, const Utf8String& name) {
  const Utf8String key = ascii_lowered(name) + ":";
  if (key.size() > head.size()) return {};
  std::size_t i = ascii_lowered(head).find(key);
  if (i == Utf8String::npos) return {};
  i += key.size();
  while (i < head.size() && is_blank(head[i])) ++i;
  const std::size_t end = head.find("\r\n", i);
  return head.substr(i, end == Utf8String::npos ? Utf8String::npos : end - i);
}

Utf8String query_param(const Utf8String& target, const Utf8String& name) {
  const std::size_t mark = target.find('?');
  if (mark == Utf8String::npos) return {};
  const Utf8String key = name + "=";
  std::size_t offset = mark + 1;
  for (;;) {
    const std::size_t amp = target.find('&', offset);
    const std::size_t end = amp == Utf8String::npos ? target.size() : amp;
    if (end - offset >= key.size() && target.compare(offset, key.size(), key) == 0) {
      return percent_decode(target.substr(offset + key.size(), end - offset - key.size()));
    }
    if (amp == Utf8String::npos || amp + 1 >= target.size()) return {};
    offset = amp + 1;
  }
}

Utf8String percent_decode(const Utf8String& text) {
  Utf8String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
        hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else if (c == '+') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}
