#include "music/media_head.h"

#include <string>

#include "http/response.h"

Utf8String media_head(bool partial, const char* content_type, std::uint64_t length,
                      std::uint64_t first, std::uint64_t last, std::uint64_t size) {
  Utf8String head;
  head.reserve(512);
  head += partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
  head += "Content-Type: ";
  head += content_type;
  head += "\r\nContent-Length: " + std::to_string(length) + "\r\n";
  if (partial) {
    head += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
            std::to_string(size) + "\r\n";
  }
  head +=
      "Accept-Ranges: bytes\r\n"
      "Access-Control-Allow-Origin: *\r\n"
      "Access-Control-Expose-Headers: Content-Range, Accept-Ranges, Content-Length\r\n"
      "Access-Control-Allow-Headers: Content-Type, Range\r\n"
      "Cache-Control: no-store\r\n"
      "Connection: close\r\n"
      "\r\n";
  return head;
}

void send_unsatisfiable(Socket socket, std::uint64_t size) {
  const Utf8String answer = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                            std::to_string(size) +
                            "\r\nContent-Length: 0\r\nAccess-Control-Allow-Origin: *\r\n"
                            "Connection: close\r\n\r\n";
  send_all(socket, answer.data(), static_cast<long>(answer.size()));
}
