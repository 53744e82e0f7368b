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

// Why a request whose head arrived is answered without being handled.
enum class Refusal {
  none,
  transfer_coding,  // it carries Transfer-Encoding, which this service does not decode
  bad_length,       // its Content-Length is not plain digits, or it has more than one
};

// What reading a connection came to: a whole request, or a refusal to answer
// in place of handling it, or neither, when the connection is to be closed
// without an answer.
struct RequestRead {
  std::optional<HttpRequest> request;
  Refusal refusal = Refusal::none;
};

// Reads and parses one request. Closed without an answer: peer gone, error or
// time-out before the whole request arrived, head too long or later than
// kSocketTimeoutMs, no usable request line, a Content-Length over the cap,
// or no memory for the body. Refused: a head whose body cannot be told apart
// from what follows it; nothing after such a head is read. Expects the
// socket's receive time-out to be kSocketTimeoutMs, as handle_connection sets
// it, and leaves it so when a request comes back.
RequestRead read_request(Socket socket);
