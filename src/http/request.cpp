#include "http/request.h"

#include <new>
#include <utility>

#include "http/lookup.h"

namespace {

constexpr char kEndOfHead[] = "\r\n\r\n";

// Receives until the blank line that ends the head; `end` is its offset.
// The head as a whole gets one time-out: a peer that sends a byte now and
// then would otherwise hold its connection for ever. Each receive is bounded
// by what is left of it; one that must wait no shorter than the socket's
// own time-out costs no extra call, which is the common case of a head in
// one piece.
bool receive_head(Socket socket, Utf8String& buffer, std::size_t& end) {
  const PlatformOps& os = platform();
  std::uint64_t now = os.monotonic_ms();
  const std::uint64_t deadline = now + kSocketTimeoutMs;
  unsigned bound = kSocketTimeoutMs;  // the socket's receive time-out
  char chunk[kReceiveChunk];
  std::size_t searched = 0;
  for (;;) {
    // Only the tail can hold a terminator that was not there before.
    end = buffer.find(kEndOfHead, searched);
    if (end != Utf8String::npos) break;
    searched = buffer.size() < 3 ? 0 : buffer.size() - 3;
    if (now >= deadline) return false;
    const auto left = static_cast<unsigned>(deadline - now);
    if (left < bound) {
      os.set_receive_timeout(socket, left);
      bound = left;
    }
    const long got = os.receive(socket, chunk, kReceiveChunk);
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    if (buffer.size() > kHeadLimit) return false;
    now = os.monotonic_ms();
  }
  // Each receive of the body gets the whole time-out again.
  if (bound != kSocketTimeoutMs) os.set_receive_timeout(socket, kSocketTimeoutMs);
  return true;
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
// large Content-Length alone costs nothing. False when the peer closes,
// errs or times out first: a request cut short is never handled, or a
// document would be stored cut short and reported as saved.
bool receive_body(Socket socket, std::size_t want, Utf8String& body) {
  char chunk[kReceiveChunk];
  while (body.size() < want) {
    const long got = platform().receive(socket, chunk, kReceiveChunk);
    if (got <= 0) return false;
    body.append(chunk, static_cast<std::size_t>(got));
  }
  if (body.size() > want) body.resize(want);
  return true;
}

}  // namespace

RequestRead read_request(Socket socket) {
  try {
    Utf8String buffer;
    std::size_t end = 0;
    if (!receive_head(socket, buffer, end)) return {};
    HttpRequest request;
    request.head = buffer.substr(0, end);
    if (!split_request_line(request)) return {};
    const ContentLength announced = parse_content_length(request.head);
    switch (announced.framing) {
      case BodyFraming::length:
        break;
      // A length over the cap is refused, not cut: a prefix of the body must
      // not pass for the whole of it.
      case BodyFraming::over_cap:
        return {};
      // Whatever was sent after such a head, none of it can be taken for the
      // body, nor the body guessed from it.
      case BodyFraming::bad_length:
        return {std::nullopt, Refusal::bad_length};
      case BodyFraming::transfer_coding:
        return {std::nullopt, Refusal::transfer_coding};
    }
    request.body = buffer.substr(end + 4);
    buffer = Utf8String();
    if (!receive_body(socket, static_cast<std::size_t>(announced.length), request.body)) {
      return {};
    }
    return {std::move(request), Refusal::none};
  } catch (const std::bad_alloc&) {
    return {};
  }
}
