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

namespace {

constexpr char kExposeLine[] =
    "Access-Control-Expose-Headers: Content-Range, Accept-Ranges, Content-Length\r\n";

// The status line and headers; `extra` is one more header's name, given with
// its value and named in the exposed headers, or nullptr.
Utf8String response_head(int status, const char* reason, const char* content_type,
                         std::size_t length, const char* extra, const Utf8String& value) {
  Utf8String head;
  head.reserve(700);
  head += "HTTP/1.1 ";
  head += std::to_string(status);
  head += ' ';
  head += reason;
  head += "\r\nContent-Type: ";
  head += content_type;
  head += "\r\nContent-Length: ";
  head += std::to_string(length);
  head += "\r\n";
  if (extra == nullptr) {
    head += kFixedHeaders;
  } else {
    head += extra;
    head += ": ";
    head += value;
    head += "\r\n";
    Utf8String fixed = kFixedHeaders;
    const auto line = fixed.find(kExposeLine);
    const std::size_t end = line + sizeof kExposeLine - 3;  // before its CR LF
    fixed.insert(end, Utf8String(", ") + extra);
    head += fixed;
  }
  head += "\r\n";
  return head;
}

}  // namespace

void send_response(Socket socket, int status, const char* reason, const char* content_type,
                   const Utf8String& body) {
  const Utf8String head = response_head(status, reason, content_type, body.size(), nullptr, "");
  send_all_gathered(socket, head.data(), static_cast<long>(head.size()), body.data(),
                    static_cast<long>(body.size()));
}

void send_response_exposing(Socket socket, int status, const char* reason,
                            const char* content_type, const char* header, const Utf8String& value,
                            const Utf8String& body) {
  const Utf8String head = response_head(status, reason, content_type, body.size(), header, value);
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
