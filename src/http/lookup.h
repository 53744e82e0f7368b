#pragma once
// On-demand lookups in a raw request: headers are not parsed into a table and
// the query is not split ahead of time. All of them work on bytes.
#include <cstdint>

#include "text/strings.h"

// The largest body a request may announce (2^26 bytes).
inline constexpr std::int64_t kContentLengthCap = 67108864;
// What parse_content_length gives for an announcement above the cap.
inline constexpr std::int64_t kContentLengthOverCap = -1;

// The announced body length: digits after the first "content-length:"
// anywhere in the head, any case; 0 when absent or without digits;
// kContentLengthOverCap when the digits' value exceeds kContentLengthCap,
// however many digits follow.
std::int64_t parse_content_length(const Utf8String& head);

// The value after the first "<name>:" anywhere in the head (any case), with
// leading spaces and tabs skipped, up to the end of its line, as sent.
Utf8String header_value(const Utf8String& head, const Utf8String& name);

// The percent-decoded value of the first "<name>=" segment of the query
// (case-sensitive); empty when absent.
Utf8String query_param(const Utf8String& target, const Utf8String& name);

// %XX becomes the byte, '+' a space; anything malformed is kept as it is.
Utf8String percent_decode(const Utf8String& text);
