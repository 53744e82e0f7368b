#include "music/kinds.h"

#include "text/utf.h"

namespace {

constexpr const char16_t* kAudio[] = {u".mp3", u".flac", u".wav", u".m4a", u".aac",
                                      u".ogg", u".opus", u".wma", u".ape", u".mp4"};
constexpr const char16_t* kImage[] = {u".jpg", u".jpeg", u".png", u".webp", u".gif", u".bmp"};

template <std::size_t N>
bool has_any(const WideString& file_name, const char16_t* const (&suffixes)[N]) {
  for (const char16_t* suffix : suffixes) {
    if (has_extension(file_name, suffix)) return true;
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

bool is_image_extension(const WideString& file_name) { return has_any(file_name, kImage); }

const char* file_kind(const WideString& file_name) {
  if (has_any(file_name, kAudio)) return "audio";
  if (has_extension(file_name, u".lrc")) return "lyric";
  if (is_image_extension(file_name)) return "image";
  return nullptr;
}

Utf8String extension_text(const WideString& file_name) {
  const WideString folded = fold_ascii(file_name);
  const auto dot = folded.rfind(u'.');
  if (dot == WideString::npos) return "";
  return utf16_to_utf8(folded.substr(dot + 1));
}
