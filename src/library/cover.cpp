#include "library/cover.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "library/file_bytes.h"
#include "library/tag_reader.h"
#include "music/kinds.h"
#include "service/paths.h"
#include "service/platform.h"

namespace {

bool starts_with(const std::string& bytes, const char* prefix, std::size_t length,
                 std::size_t at = 0) {
  return bytes.size() >= at + length && bytes.compare(at, length, prefix, length) == 0;
}

// Where a file's name ranks as a folder image: 0 best; -1 when it is none.
int folder_image_rank(const WideString& name) {
  static const char16_t* const kStems[] = {u"cover", u"folder", u"front", u"album"};
  static const char16_t* const kExtensions[] = {u".jpg", u".jpeg", u".png",
                                                 u".webp", u".gif", u".bmp"};
  const auto dot = name.rfind(u'.');
  if (dot == WideString::npos || !is_image_extension(name)) return -1;
  const WideString stem = fold_ascii(name.substr(0, dot));
  const WideString extension = fold_ascii(name.substr(dot));
  for (int s = 0; s < 4; ++s) {
    if (stem != kStems[s]) continue;
    for (int e = 0; e < 6; ++e) {
      if (extension == kExtensions[e]) return s * 6 + e;
    }
  }
  return -1;
}

bool folder_cover(const WideString& folder, CoverImage& cover) {
  std::vector<DirectoryEntry> entries;
  if (!platform().list_directory(folder, entries)) return false;
  std::vector<std::pair<int, WideString>> candidates;
  for (const DirectoryEntry& entry : entries) {
    if (entry.is_directory) continue;
    const int rank = folder_image_rank(entry.name);
    if (rank >= 0) candidates.emplace_back(rank, entry.name);
  }
  std::sort(candidates.begin(), candidates.end());
  for (const auto& candidate : candidates) {
    std::string bytes;
    if (!read_listed_bytes(join_path(folder, candidate.second), kCoverLimit, bytes)) continue;
    // A file named like an image that is not one is passed over.
    const char* type = image_type_of(bytes);
    if (type == nullptr) continue;
    cover.bytes = std::move(bytes);
    cover.content_type = type;
    return true;
  }
  return false;
}

}  // namespace

const char* image_type_of(const std::string& bytes) {
  if (starts_with(bytes, "\xFF\xD8\xFF", 3)) return "image/jpeg";
  if (starts_with(bytes, "\x89PNG\r\n\x1A\n", 8)) return "image/png";
  if (starts_with(bytes, "GIF87a", 6) || starts_with(bytes, "GIF89a", 6)) return "image/gif";
  if (starts_with(bytes, "RIFF", 4) && starts_with(bytes, "WEBP", 4, 8)) return "image/webp";
  if (starts_with(bytes, "BM", 2) && bytes.size() > 14) return "image/bmp";
  return nullptr;
}

bool find_cover(const WideString& full_path, CoverImage& cover) {
  if (platform().is_directory(full_path)) return folder_cover(full_path, cover);
  const char* kind = file_kind(name_of(full_path));
  if (kind == nullptr || std::strcmp(kind, "audio") != 0 || !listed_file_exists(full_path)) {
    return false;
  }
  std::string bytes;
  if (read_embedded_picture(full_path, bytes)) {
    if (const char* type = image_type_of(bytes)) {
      cover.bytes = std::move(bytes);
      cover.content_type = type;
      return true;
    }
  }
  return folder_cover(parent_of(full_path), cover);
}
