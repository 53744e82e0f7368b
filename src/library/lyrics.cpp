#include "library/lyrics.h"

#include <cstring>

#include "library/file_bytes.h"
#include "library/tag_reader.h"
#include "library/text_encoding.h"
#include "music/kinds.h"

namespace {

bool read_lyric_file(const WideString& path, Lyrics& lyrics) {
  std::string bytes;
  if (!read_listed_bytes(path, kLyricsLimit, bytes)) return false;
  DecodedText decoded = decode_text(bytes);
  lyrics.text = std::move(decoded.text);
  lyrics.encoding = std::move(decoded.encoding);
  return true;
}

}  // namespace

bool find_sidecar_lyrics(const WideString& audio_path, WideString& lrc_path) {
  const WideString name = name_of(audio_path);
  const auto dot = name.rfind(u'.');
  if (dot == WideString::npos) return false;
  const WideString stem = audio_path.substr(0, audio_path.size() - (name.size() - dot));
  // Case matters on Linux only; these are the spellings players write.
  for (const char16_t* extension : {u".lrc", u".LRC", u".Lrc"}) {
    const WideString candidate = stem + extension;
    if (listed_file_exists(candidate)) {
      lrc_path = candidate;
      return true;
    }
  }
  return false;
}

bool read_lyrics(const WideString& full_path, Lyrics& lyrics) {
  const char* kind = file_kind(name_of(full_path));
  if (kind == nullptr) return false;
  if (std::strcmp(kind, "lyric") == 0) return read_lyric_file(full_path, lyrics);
  if (std::strcmp(kind, "audio") != 0 || !listed_file_exists(full_path)) return false;
  WideString sidecar;
  if (find_sidecar_lyrics(full_path, sidecar) && read_lyric_file(sidecar, lyrics)) return true;
  return read_embedded_lyrics(full_path, lyrics.text, lyrics.encoding);
}
