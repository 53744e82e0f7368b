#include "music/kinds.h"

#include "text/utf.h"

namespace {

constexpr const char16_t* kAudio[] = {u".mp3", u".flac", u".wav", u".m4a", u".aac",
                                      u".ogg", u".opus", u".wma", u".ape", u".mp4"};
constexpr const char16_t* kImage[] = {u".jpg", u".jpeg", u".png", u".webp", u".gif", u".bmp"};

// The name from its last dot on, ASCII-folded: a name ends in one of the
// known suffixes exactly when this equals it, as none holds a second dot.
// Folded once, it serves every comparison.
WideString folded_tail(const WideString& file_name) {
  const auto dot = file_name.rfind(u'.');
  return dot == WideString::npos ? WideString() : fold_ascii(file_name.substr(dot));
}

template <std::size_t N>
bool is_any(const WideString& tail, const char16_t* const (&suffixes)[N]) {
  for (const char16_t* suffix : suffixes) {
    if (tail == suffix) return true;
  }
  return false;
}

}  // namespace

WideString fold_ascii(const WideString& text) {
  WideString folded = text;
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return folded;
}

bool has_extension(const WideString& file_name, const WideString& suffix) {
  if (file_name.size() < suffix.size()) return false;
  return fold_ascii(file_name.substr(file_name.size() - suffix.size())) == suffix;
}

bool is_image_extension(const WideString& file_name) {
  return is_any(folded_tail(file_name), kImage);
}

const char* file_kind(const WideString& file_name) {
  const WideString tail = folded_tail(file_name);
  if (is_any(tail, kAudio)) return "audio";
  if (tail == u".lrc") return "lyric";
  if (is_any(tail, kImage)) return "image";
  return nullptr;
}

Utf8String extension_text(const WideString& file_name) {
  const auto dot = file_name.rfind(u'.');
  if (dot == WideString::npos) return "";
  return utf16_to_utf8(fold_ascii(file_name.substr(dot + 1)));
}
