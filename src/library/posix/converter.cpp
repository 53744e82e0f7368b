#include "library/converter.h"

#include <cerrno>
#include <iconv.h>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

bool convert_to_utf8(const Utf8String& encoding, const std::string& bytes, Utf8String& text) {
  const iconv_t converter = iconv_open("UTF-8", encoding.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  Utf8String out;
  char chunk[4096];
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  while (in_left > 0) {
    char* to = chunk;
    std::size_t to_left = sizeof chunk;
    const std::size_t done = iconv(converter, &in, &in_left, &to, &to_left);
    out.append(chunk, to - chunk);
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An unmappable byte, or a sequence cut short at the end.
    out += kReplacement;
    if (errno != EILSEQ) break;
    ++in;
    --in_left;
  }
  iconv_close(converter);
  text = std::move(out);
  return true;
}
