#pragma once
// The service's fixed answers, written out byte for byte, as a client sees them.
#include <string>

namespace expected {

inline const std::string kBlock =
    "Access-Control-Allow-Origin: *\r\n"
    "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n"
    "Access-Control-Allow-Headers: Content-Type, Range\r\n"
    "Access-Control-Expose-Headers: Content-Range, Accept-Ranges, Content-Length\r\n"
    "Access-Control-Allow-Private-Network: true\r\n"
    "Access-Control-Max-Age: 86400\r\n"
    "X-Tessavin-Service: yes\r\n"
    "Cache-Control: no-store\r\n"
    "Connection: close\r\n";

inline const std::string kPing =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
    "Content-Length: 56\r\n" +
    kBlock + "\r\n" + "{\"ok\":true,\"service\":\"zelvo-tessavin\",\"version\":\"1.5.0\"}";

inline const std::string kPreflight =
    "HTTP/1.1 204 No Content\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 0\r\n" +
    kBlock + "\r\n";

inline const std::string kNotFound =
    "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 9\r\n" +
    kBlock + "\r\nNot Found";

// A whole answer from the common response writer.
inline std::string answer(const std::string& status, const std::string& type,
                          const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + kBlock + "\r\n" + body;
}

inline std::string json(const std::string& status, const std::string& body) {
  return answer(status, "application/json; charset=utf-8", body);
}

inline const std::string kOk = json("200 OK", "{\"ok\":true}");
inline const std::string kInvalidName = json("400 Bad Request", "{\"error\":\"invalid name\"}");
inline const std::string kDocumentNotFound = json("404 Not Found", "{\"error\":\"not found\"}");
inline const std::string kWriteFailed =
    json("500 Internal Server Error", "{\"error\":\"write failed\"}");
inline const std::string kInvalidPath = json("400 Bad Request", "{\"error\":\"invalid path\"}");
inline const std::string kForbidden = json("403 Forbidden", "{\"error\":\"forbidden\"}");

// The head of a whole (200) or one-range (206) media answer; `range` is the
// Content-Range value, empty for a whole answer.
inline std::string media_head(const std::string& type, std::size_t length,
                              const std::string& range = "") {
  return (range.empty() ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 206 Partial Content\r\n") +
         std::string("Content-Type: ") + type + "\r\nContent-Length: " + std::to_string(length) +
         "\r\n" + (range.empty() ? "" : "Content-Range: bytes " + range + "\r\n") +
         "Accept-Ranges: bytes\r\n"
         "Access-Control-Allow-Origin: *\r\n"
         "Access-Control-Expose-Headers: Content-Range, Accept-Ranges, Content-Length\r\n"
         "Access-Control-Allow-Headers: Content-Type, Range\r\n"
         "Cache-Control: no-store\r\n"
         "Connection: close\r\n\r\n";
}

inline std::string unsatisfiable(std::size_t size) {
  return "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
         "\r\nContent-Length: 0\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n";
}

// A lyrics answer: UTF-8 text, and the encoding found in a header that pages
// may read.
inline std::string lyrics_answer(const std::string& encoding, const std::string& body) {
  std::string block = kBlock;
  const std::string exposed = "Content-Length\r\n";
  block.replace(block.find(exposed), exposed.size(), "Content-Length, X-Lyrics-Encoding\r\n");
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nX-Lyrics-Encoding: " + encoding + "\r\n" + block +
         "\r\n" + body;
}

}  // namespace expected
