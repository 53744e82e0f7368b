#pragma once
#include "text/strings.h"

// Conversions between UTF-16 and UTF-8. They never fail: each ill-formed
// sequence (an unpaired surrogate, an invalid or truncated UTF-8 sequence)
// becomes U+FFFD, one per maximal ill-formed subpart.
Utf8String utf16_to_utf8(const WideString& text);
WideString utf8_to_utf16(const Utf8String& text);
