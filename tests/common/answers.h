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

// A JSON answer with the given status line tail, e.g. "200 OK".
inline std::string json_answer(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/json; charset=utf-8\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\n" + kBlock + "\r\n" + body;
}

}  // namespace expected
