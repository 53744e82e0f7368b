#include "http/response.h"

#include <string>

const char kFixedHeaders[] =
    "Access-Control-Allow-Origin: *\r\n"
    "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n"
    "Access-Control-Allow-Headers: Content-Type, Range\r\n"
    "Access-Control-Expose-Headers: Content-Range, Accept-Ranges, Content-Length\r\n"
    "Access-Control-Allow-Private-Network: true\r\n"
    "Access-Control-Max-Age: 86400\r\n"
    "X-Tessavin-Service: yes\r\n"
    "Cache-Control: no-store\r\n"
    "Connection: close\r\n";

void send_response(Socket socket, int status, const char* reason, const char* content_type,
                   const Utf8String& body) {
  Utf8String head;
  head.reserve(640);
  head += "HTTP/1.1 ";
  head += std::to_string(status);
  head += ' ';
  head += reason;
  head += "\r\nContent-Type: ";
  head += content_type;
  head += "\r\nContent-Length: ";
  head += std::to_string(body.size());
  head += "\r\n";
  head += kFixedHeaders;
  head += "\r\n";
  send_all_gathered(socket, head.data(), static_cast<long>(head.size()), body.data(),
                    static_cast<long>(body.size()));
}

namespace {
// Each send call takes at most this much, so that its count fits an int.
constexpr long kMaxSend = 1L << 30;
}  // namespace

bool send_all_gathered(Socket socket, const char* head, long head_length, const char* body,
                       long body_length) {
  // One call, and so most often one segment, for head and body together;
  // whatever a short send leaves goes on piece by piece.
  long sent = 0;
  if (body_length > 0 && head_length <= kMaxSend && body_length <= kMaxSend) {
    const SendPiece pieces[] = {{head, static_cast<std::size_t>(head_length)},
                                {body, static_cast<std::size_t>(body_length)}};
    sent = platform().send_gather(socket, pieces, 2);
    if (sent <= 0) return false;
  }
  if (sent < head_length) {
    return send_all(socket, head + sent, head_length - sent) && send_all(socket, body, body_length);
  }
  return send_all(socket, body + (sent - head_length), body_length - (sent - head_length));
}

bool send_all(Socket socket, const char* data, long length) {
  long sent = 0;
  while (sent < length) {
    const long offer = length - sent < kMaxSend ? length - sent : kMaxSend;
    const long got = platform().send(socket, data + sent, static_cast<int>(offer));
    if (got <= 0) return false;
    sent += got;
  }
  return true;
}

void send_not_found(Socket socket) {
  send_response(socket, 404, "Not Found", kTextType, "Not Found");
}
