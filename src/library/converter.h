#pragma once
// The platform's own text converter: iconv on Linux, MultiByteToWideChar on
// Windows. Encodings go by the names the detector gives ("GB18030", "BIG5",
// "SHIFT_JIS", "EUC-KR", "WINDOWS-1252", "ISO-8859-1", ...).
#include <string>

#include "text/strings.h"

// Decodes `bytes` in `encoding` to UTF-8, each byte the encoding cannot map
// becoming U+FFFD. False, with `text` untouched, when the platform does not
// know the encoding.
bool convert_to_utf8(const Utf8String& encoding, const std::string& bytes, Utf8String& text);
