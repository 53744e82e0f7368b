#pragma once
// Small helpers shared by the load, slow-client and crash tests.
#include <sys/types.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace blackbox {

// One request as a browser would send it; a body brings its Content-Length.
inline std::string http_request(const std::string& method, const std::string& target,
                                const std::optional<std::string>& body = std::nullopt,
                                const std::string& headers = "") {
  std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
  if (body) text += "Content-Length: " + std::to_string(body->size()) + "\r\n";
  return text + "\r\n" + body.value_or("");
}

// What follows the head of an answer; empty when there is no complete head.
inline std::string body_of(const std::string& answer) {
  const auto end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// A number field of /proc/<pid>/status ("VmRSS" in kB, "Threads"); -1 when
// the process or the field is not there.
inline long proc_status(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

}  // namespace blackbox
