#include "http/request.h"

#include <new>

#include "http/lookup.h"

namespace {

constexpr char kEndOfHead[] = "\r\n\r\n";

// Receives until the blank line that ends the head. `end` is its offset.
bool receive_head(Socket socket, Utf8String& buffer, std::size_t& end) {
  char chunk[kReceiveChunk];
  std::size_t searched = 0;
  for (;;) {
    // Only the tail can hold a terminator that was not there before.
    end = buffer.find(kEndOfHead, searched);
    if (end != Utf8String::npos) return true;
    searched = buffer.size() < 3 ? 0 : buffer.size() - 3;
    const long got = platform().receive(socket, chunk, kReceiveChunk);
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    if (buffer.size() > kHeadLimit) return false;
  }
}

bool split_request_line(HttpRequest& request) {
  const Utf8String line = request.head.substr(0, request.head.find("\r\n"));
  const std::size_t space = line.find(' ');
  if (line.empty() || space == Utf8String::npos) return false;
  request.method = line.substr(0, space);
  const std::size_t second = line.find(' ', space + 1);
  request.target =
      line.substr(space + 1, second == Utf8String::npos ? Utf8String::npos : second - space - 1);
  request.path = percent_decode(request.target.substr(0, request.target.find('?')));
  return true;
}

// The body grows with what arrives, never with what was announced, so a
// large Content-Length alone costs nothing.
void receive_body(Socket socket, std::int64_t length, Utf8String& body) {
  const std::size_t want = static_cast<std::size_t>(length);
  char chunk[kReceiveChunk];
  while (body.size() < want) {
    const long got = platform().receive(socket, chunk, kReceiveChunk);
    if (got <= 0) break;
    body.append(chunk, static_cast<std::size_t>(got));
  }
  if (body.size() > want) body.resize(want);
}

}  // namespace

std::optional<HttpRequest> read_request(Socket socket) {
  try {
    Utf8String buffer;
    std::size_t end = 0;
    if (!receive_head(socket, buffer, end)) return std::nullopt;
    HttpRequest request;
    request.head = buffer.substr(0, end);
    if (!split_request_line(request)) return std::nullopt;
    request.body = buffer.substr(end + 4);
    buffer = Utf8String();
    receive_body(socket, parse_content_length(request.head), request.body);
    return request;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}
