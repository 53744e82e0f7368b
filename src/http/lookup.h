#pragma once
// On-demand lookups in a raw request: headers are not parsed into a table and
// the query is not split ahead of time. All of them work on bytes.
#include <cstdint>

#include "text/strings.h"

// The largest body a request may announce (2^26 bytes).
inline constexpr std::int64_t kContentLengthCap = 67108864;

// How a head says where its body ends.
enum class BodyFraming {
  length,           // one Content-Length of plain digits up to the cap, or none (length 0)
  over_cap,         // one Content-Length of plain digits whose value exceeds the cap
  bad_length,       // a Content-Length that is not plain digits, or more than one of them
  transfer_coding,  // a Transfer-Encoding field: a body coding this service does not decode
};

struct ContentLength {
  BodyFraming framing = BodyFraming::length;
  std::int64_t length = 0;  // meaningful for BodyFraming::length only
};

// Reads the framing fields of a head: header lines (never the request line)
// whose name, in any case, is exactly Content-Length or Transfer-Encoding.
// A Content-Length value is one or more decimal digits, with optional spaces
// or tabs around them. Lines break at LF, a CR before it dropped, so that no
// other reading of the head finds a field this one misses; a Content-Length
// with blanks before its colon or continued on an indented line is malformed.
// Any Transfer-Encoding wins over every Content-Length.
ContentLength parse_content_length(const Utf8String& head);

// The value after the first "<name>:" anywhere in the head (any case), with
// leading spaces and tabs skipped, up to the end of its line, as sent.
Utf8String header_value(const Utf8String& head, const Utf8String& name);

// The percent-decoded value of the first "<name>=" segment of the query
// (case-sensitive); empty when absent.
Utf8String query_param(const Utf8String& target, const Utf8String& name);

// %XX becomes the byte, '+' a space; anything malformed is kept as it is.
Utf8String percent_decode(const Utf8String& text);
