#include "music/media_path.h"

#include "music/kinds.h"
#include "service/platform.h"

bool is_acceptable_media_path(const Utf8String& path) {
  if (path.empty() || path.size() > kMediaPathLimit) return false;
  if (path[0] == '/' || path[0] == '\\') return false;
  // No "..", not even inside a name; no ":", so no drive, UNC or stream.
  if (path.find("..") != Utf8String::npos || path.find(':') != Utf8String::npos) return false;
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

bool resolve_media_path(const WideString& root, const WideString& candidate_path,
                        WideString& full_path) {
  WideString resolved_root;
  WideString resolved;
  if (!platform().full_path(root, resolved_root) ||
      !platform().full_path(candidate_path, resolved)) {
    return false;
  }
  if (resolved.size() < resolved_root.size()) return false;
  if (fold_ascii(resolved.substr(0, resolved_root.size())) != fold_ascii(resolved_root)) {
    return false;
  }
  // "music2" shares the prefix of "music" but is a sibling, not inside.
  if (resolved.size() > resolved_root.size()) {
    const char16_t next = resolved[resolved_root.size()];
    if (next != u'\\' && next != u'/') return false;
  }
  full_path = resolved;
  return true;
}

const char* mime_type_for(const WideString& full_path) {
  struct Row {
    const char16_t* extension;
    const char* type;
  };
  static constexpr Row kTypes[] = {
      {u"mp3", "audio/mpeg"},
      {u"flac", "audio/flac"},
      {u"wav", "audio/wav"},
      {u"m4a", "audio/mp4"},
      {u"aac", "audio/aac"},
      {u"ogg", "audio/ogg"},
      {u"opus", "audio/ogg"},
      {u"wma", "audio/x-ms-wma"},
      {u"ape", "audio/x-ape"},
      {u"mp4", "video/mp4"},
      {u"lrc", "text/plain; charset=utf-8"},
      {u"jpg", "image/jpeg"},
      {u"jpeg", "image/jpeg"},
      {u"png", "image/png"},
      {u"webp", "image/webp"},
      {u"gif", "image/gif"},
      {u"bmp", "image/bmp"},
  };
  const auto dot = full_path.rfind(u'.');
  if (dot == WideString::npos) return "application/octet-stream";
  const WideString extension = fold_ascii(full_path.substr(dot + 1));
  for (const Row& row : kTypes) {
    if (extension == row.extension) return row.type;
  }
  return "application/octet-stream";
}
