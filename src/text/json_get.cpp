#include <cstddef>
#include <utility>

#include "text/json.h"

namespace {

// Position just past the first "key" in the text, or npos. The search is a
// plain byte search on purpose: callers rely on it ignoring nesting.
std::size_t find_key_end(const Utf8String& text, const Utf8String& key) {
  const Utf8String pattern = "\"" + key + "\"";
  const std::size_t at = text.find(pattern);
  if (at == Utf8String::npos) return Utf8String::npos;
  const std::size_t end = at + pattern.size();
  if (end >= text.size()) return Utf8String::npos;
  return end;
}

// Start of the value: just past the first colon after the key, or npos.
std::size_t find_value_start(const Utf8String& text, const Utf8String& key) {
  const std::size_t end = find_key_end(text, key);
  if (end == Utf8String::npos) return Utf8String::npos;
  const std::size_t colon = text.find(':', end);
  if (colon == Utf8String::npos) return Utf8String::npos;
  return colon + 1;
}

// Line breaks are deliberately not skipped: a value on the next line is absent.
std::size_t skip_blanks(const Utf8String& text, std::size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  return pos;
}

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

}  // namespace

bool json_get_bool(const Utf8String& text, const Utf8String& key, bool& out) {
  std::size_t pos = find_value_start(text, key);
  if (pos == Utf8String::npos) return false;
  pos = skip_blanks(text, pos);
  if (text.compare(pos, 4, "true") == 0) {
    out = true;
    return true;
  }
  if (text.compare(pos, 5, "false") == 0) {
    out = false;
    return true;
  }
  return false;
}

bool json_get_int(const Utf8String& text, const Utf8String& key, std::int64_t& out) {
  std::size_t pos = find_value_start(text, key);
  if (pos == Utf8String::npos) return false;
  pos = skip_blanks(text, pos);
  bool negative = false;
  bool has_sign = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    has_sign = true;
    ++pos;
  }
  const std::size_t digits_start = pos;
  while (pos < text.size() && is_digit(text[pos])) ++pos;
  if (!has_sign && pos == digits_start) return false;
  // A lone sign is an empty run, which parses to the fallback 0.
  const std::int64_t magnitude = parse_decimal(text.substr(digits_start, pos - digits_start), 0);
  out = negative ? -magnitude : magnitude;
  return true;
}

bool json_get_string(const Utf8String& text, const Utf8String& key, Utf8String& out) {
  const std::size_t start = find_value_start(text, key);
  if (start == Utf8String::npos) return false;
  // Anything before the quote is passed over, even another key.
  const std::size_t quote = text.find('"', start);
  if (quote == Utf8String::npos) return false;
  Utf8String value;
  const std::size_t n = text.size();
  for (std::size_t i = quote + 1; i < n; ++i) {
    const char ch = text[i];
    if (ch == '"') break;
    if (ch == '\\' && i + 1 < n) {
      const char escaped = text[++i];
      switch (escaped) {
        case 'n':
          value.push_back('\n');
          break;
        case 'r':
          value.push_back('\r');
          break;
        case 't':
          value.push_back('\t');
          break;
        default:
          // Unicode escapes stay undecoded: \uXXXX comes out as uXXXX.
          value.push_back(escaped);
          break;
      }
      continue;
    }
    value.push_back(ch);
  }
  out = std::move(value);
  return true;
}

bool json_get_object(const Utf8String& text, const Utf8String& key, Utf8String& out) {
  const std::size_t end = find_key_end(text, key);
  if (end == Utf8String::npos) return false;
  const std::size_t open = text.find('{', end);
  if (open == Utf8String::npos) return false;
  std::size_t depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (std::size_t i = open; i < text.size(); ++i) {
    const char ch = text[i];
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (ch == '\\') {
        escaped = true;
      } else if (ch == '"') {
        in_string = false;
      }
      continue;
    }
    if (ch == '"') {
      in_string = true;
    } else if (ch == '{') {
      ++depth;
    } else if (ch == '}') {
      if (--depth == 0) {
        out = text.substr(open, i - open + 1);
        return true;
      }
    }
  }
  return false;
}
