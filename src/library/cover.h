#pragma once
// A track's or a folder's cover image. For an audio file: its embedded front
// cover, else any embedded picture, else its folder's image. For a folder:
// the image named cover, folder, front or album (in that order of
// preference, any case) with a listed image extension.
#include <string>

#include "text/strings.h"

// Folder images larger than this are skipped.
inline constexpr std::size_t kCoverLimit = 32u << 20;

struct CoverImage {
  std::string bytes;
  const char* content_type = nullptr;
};

// The MIME type the image's own first bytes show (JPEG, PNG, GIF, WebP,
// BMP); nullptr for anything else.
const char* image_type_of(const std::string& bytes);

// False when there is no image, the path is neither an audio file nor a
// folder, or it is missing.
bool find_cover(const WideString& full_path, CoverImage& cover);
