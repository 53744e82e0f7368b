#pragma once
// Shallow JSON helpers. There is no parser: answers are built by
// concatenation with json_escape on every string value, and inputs are read by
// key with these extractors, whose search rules are part of the API's
// behaviour. Each extractor returns true when found and only then writes out.
#include <cstdint>

#include "text/strings.h"

// The content of a JSON string (no enclosing quotes) for any bytes.
Utf8String json_escape(const Utf8String& text);

// First "key" in the text, anywhere; "true"/"false" as a prefix after the colon.
bool json_get_bool(const Utf8String& text, const Utf8String& key, bool& out);
// First "key"; an optional sign and a digit run after the colon.
bool json_get_int(const Utf8String& text, const Utf8String& key, std::int64_t& out);
// First "key"; the next string literal after the colon, lightly unescaped.
bool json_get_string(const Utf8String& text, const Utf8String& key, Utf8String& out);
// First "key"; the next balanced {...} after it, as raw text.
bool json_get_object(const Utf8String& text, const Utf8String& key, Utf8String& out);

// Plain decimal digits up to 2^50, else `fallback`.
std::int64_t parse_decimal(const Utf8String& text, std::int64_t fallback);
