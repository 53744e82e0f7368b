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
  // The body goes out as its own send sequence rather than being copied
  // behind the head.
  if (send_all(socket, head.data(), static_cast<long>(head.size())) && !body.empty()) {
    send_all(socket, body.data(), static_cast<long>(body.size()));
  }
}

bool send_all(Socket socket, const char* data, long length) {
  // Each send call takes at most this much, so that its count fits an int.
  constexpr long kMaxSend = 1L << 30;
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
