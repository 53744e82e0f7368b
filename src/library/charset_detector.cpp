#include "library/charset_detector.h"

#include <uchardet.h>

Utf8String detect_charset(const std::string& bytes) {
  const uchardet_t detector = uchardet_new();
  if (detector == nullptr) return "";
  Utf8String name;
  if (uchardet_handle_data(detector, bytes.data(), bytes.size()) == 0) {
    uchardet_data_end(detector);
    const char* found = uchardet_get_charset(detector);
    if (found != nullptr) name = found;
  }
  uchardet_delete(detector);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}
