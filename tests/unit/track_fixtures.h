#pragma once
// The audio and lyric files tests/fixtures/make-tracks made for this build.
#include <filesystem>
#include <string>

#include "temp_dir.h"

inline std::filesystem::path track_fixture(const std::string& relative) {
  return std::filesystem::path(TESSAVIN_TRACK_FIXTURES) / relative;
}

// A music directory of its own in a temporary base directory, the service's
// directories pointed at it.
struct MusicFolder {
  TempDir dir;
  std::filesystem::path music = dir.path / "data" / "music";
  MusicFolder();
  // Copies a fixture in as `name` (folders made as needed).
  std::filesystem::path add(const std::string& fixture, const std::string& name) const;
  WideString wide(const std::string& name) const { return (music / name).u16string(); }
};
