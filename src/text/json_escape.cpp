#include "text/json.h"

Utf8String json_escape(const Utf8String& text) {
  static const char kHex[] = "0123456789abcdef";
  Utf8String out;
  // Room for a few escapes so a typical value never reallocates.
  out.reserve(text.size() + 8);
  for (const char ch : text) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    switch (byte) {
      case 0x08:
        out += "\\b";
        break;
      case 0x09:
        out += "\\t";
        break;
      case 0x0A:
        out += "\\n";
        break;
      case 0x0C:
        out += "\\f";
        break;
      case 0x0D:
        out += "\\r";
        break;
      case 0x22:
        out += "\\\"";
        break;
      case 0x5C:
        out += "\\\\";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0x0F]);
        } else {
          // UTF-8 is passed through as bytes, never validated or re-encoded.
          out.push_back(ch);
        }
        break;
    }
  }
  return out;
}
