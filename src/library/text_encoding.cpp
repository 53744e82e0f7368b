#include "library/text_encoding.h"

#include "library/charset_detector.h"
#include "library/converter.h"
#include "text/utf.h"

namespace {

bool starts_with(const std::string& bytes, const char* prefix, std::size_t length) {
  return bytes.size() >= length && bytes.compare(0, length, prefix, length) == 0;
}

// An odd last byte is a unit cut short; it becomes U+FFFD.
Utf8String from_utf16(const std::string& bytes, std::size_t from, bool big_endian) {
  WideString units;
  units.reserve((bytes.size() - from) / 2);
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(big_endian ? (first << 8 | second) : (second << 8 | first));
  }
  Utf8String text = utf16_to_utf8(units);
  if ((bytes.size() - from) % 2 != 0) text += "\xEF\xBF\xBD";
  return text;
}

// Every byte stands for the code point of its value.
Utf8String from_latin1(const std::string& bytes) {
  WideString units;
  units.reserve(bytes.size());
  for (const char byte : bytes) units += static_cast<char16_t>(static_cast<unsigned char>(byte));
  return utf16_to_utf8(units);
}

}  // namespace

bool is_valid_utf8(const std::string& bytes) {
  // The conversion marks each ill-formed sequence with U+FFFD, so only
  // well-formed text comes back unchanged.
  return utf16_to_utf8(utf8_to_utf16(bytes)) == bytes;
}

DecodedText decode_text(const std::string& bytes) {
  if (starts_with(bytes, "\xEF\xBB\xBF", 3)) {
    // Marked as UTF-8: ill-formed sequences become U+FFFD.
    return {utf16_to_utf8(utf8_to_utf16(bytes.substr(3))), "UTF-8"};
  }
  if (starts_with(bytes, "\xFF\xFE", 2)) return {from_utf16(bytes, 2, false), "UTF-16LE"};
  if (starts_with(bytes, "\xFE\xFF", 2)) return {from_utf16(bytes, 2, true), "UTF-16BE"};
  if (is_valid_utf8(bytes)) return {bytes, "UTF-8"};

  DecodedText decoded;
  const Utf8String guess = detect_charset(bytes);
  if (guess == "UTF-16LE" || guess == "UTF-16BE") {
    return {from_utf16(bytes, 0, guess == "UTF-16BE"), guess};
  }
  // A guess of UTF-8 or ASCII cannot be right for bytes that failed the check.
  if (!guess.empty() && guess != "UTF-8" && guess != "ASCII" &&
      convert_to_utf8(guess, bytes, decoded.text)) {
    decoded.encoding = guess;
    return decoded;
  }
  if (convert_to_utf8("WINDOWS-1252", bytes, decoded.text)) {
    decoded.encoding = "WINDOWS-1252";
    return decoded;
  }
  return {from_latin1(bytes), "ISO-8859-1"};
}
