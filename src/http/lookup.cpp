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

}  // namespace

std::int64_t parse_content_length(const Utf8String& head) {
  static const Utf8String key = "content-length:";
  if (head.size() < key.size()) return 0;
  const Utf8String lowered = ascii_lowered(head);
  std::size_t i = lowered.find(key);
  if (i == Utf8String::npos) return 0;
  i += key.size();
  while (i < lowered.size() && is_blank(lowered[i])) ++i;
  std::int64_t value = 0;
  for (; i < lowered.size() && lowered[i] >= '0' && lowered[i] <= '9'; ++i) {
    value = value * 10 + (lowered[i] - '0');
    if (value > kContentLengthCap) return kContentLengthOverCap;
  }
  return value;
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
