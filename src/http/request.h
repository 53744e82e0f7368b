#pragma once
#include <optional>

#include "service/platform.h"
#include "text/strings.h"

// One request as read from a connection. Headers stay in `head`; look them up
// with header_value and parse_content_length.
struct HttpRequest {
  Utf8String method;  // request line before its first space, as sent
  Utf8String target;  // up to the next space (or the line's end), raw, query included
  Utf8String path;    // target before its first '?', percent-decoded
  Utf8String head;    // request line and header lines, without the blank line
  Utf8String body;    // cut to the announced Content-Length
};

// Bounds each receive of the body and each send, and the head as a whole.
inline constexpr unsigned kSocketTimeoutMs = 15000;
inline constexpr int kReceiveChunk = 8192;
inline constexpr std::size_t kHeadLimit = 1048576;

// Reads and parses one request; nothing when the connection is to be closed
// without an answer (peer gone, error or time-out before the whole request
// arrived, head too long or later than kSocketTimeoutMs, no usable request
// line, a Content-Length over the cap, or no memory for the body). Expects
// the socket's receive time-out to be kSocketTimeoutMs, as handle_connection
// sets it, and leaves it so when a request comes back.
std::optional<HttpRequest> read_request(Socket socket);
