#include "library/track_info.h"

#include "library/lyrics.h"
#include "library/tag_reader.h"

bool read_track_info(const WideString& full_path, TrackInfo& info) {
  info = TrackInfo{};
  if (!read_tagged_facts(full_path, info)) return false;
  WideString sidecar;
  if (!info.has_lyrics) info.has_lyrics = find_sidecar_lyrics(full_path, sidecar);
  return true;
}
