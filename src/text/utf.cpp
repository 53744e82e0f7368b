#include "text/utf.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
  return byte >= low && byte <= high;
}

void append_utf8(Utf8String& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void append_utf16(WideString& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
  }
}

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

Utf8String utf16_to_utf8(const WideString& text) {
  Utf8String out;
  if (text.empty()) return out;
  // Mostly ASCII paths and names; one byte per unit is the common case.
  out.reserve(text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t unit = text[i];
    if (is_high_surrogate(unit)) {
      if (i + 1 < n && is_low_surrogate(text[i + 1])) {
        const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                            (static_cast<char32_t>(text[i + 1]) - 0xDC00);
        append_utf8(out, cp);
        ++i;
      } else {
        // The next unit is not consumed: it is read again on its own.
        append_utf8(out, kReplacement);
      }
    } else if (is_low_surrogate(unit)) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

WideString utf8_to_utf16(const Utf8String& text) {
  WideString out;
  if (text.empty()) return out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char16_t>(lead));
      ++i;
      continue;
    }

    // Length and the allowed range of the second byte for each lead byte; the
    // narrowed second-byte ranges exclude overlongs, surrogates and values past
    // U+10FFFF, so those are cut at the earliest byte that rules them out.
    std::size_t length = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
      if (lead == 0xE0) second_low = 0xA0;
      if (lead == 0xED) second_high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
      if (lead == 0xF0) second_low = 0x90;
      if (lead == 0xF4) second_high = 0x8F;
    } else {
      // Stray continuation byte, C0/C1 or F5..FF: never starts a sequence.
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }

    // Consume the longest valid prefix; on a bad or missing byte the prefix
    // read so far is one maximal ill-formed subpart.
    std::size_t taken = 1;
    while (taken < length && i + taken < n) {
      const unsigned char byte = static_cast<unsigned char>(text[i + taken]);
      const bool ok =
          taken == 1 ? is_continuation(byte, second_low, second_high) : is_continuation(byte);
      if (!ok) break;
      cp = (cp << 6) | (byte & 0x3F);
      ++taken;
    }
    if (taken == length) {
      append_utf16(out, cp);
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
    }
    i += taken;
  }
  return out;
}
