#pragma once
// Text files of unknown encoding, as UTF-8: a byte-order mark first, then
// valid UTF-8, then the detector's guess decoded by the platform's own
// converter. What cannot be told or decoded is read as Windows-1252, the
// single-byte page most Western files use.
#include <string>

#include "text/strings.h"

struct DecodedText {
  Utf8String text;      // without a byte-order mark
  Utf8String encoding;  // "UTF-8", "UTF-16LE", "UTF-16BE", "GB18030", "BIG5", ...
};

DecodedText decode_text(const std::string& bytes);

// True when the bytes are well-formed UTF-8 throughout.
bool is_valid_utf8(const std::string& bytes);
