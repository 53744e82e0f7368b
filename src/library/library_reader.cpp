// The library's reader: where the index meets the tag reader.
#include "library/library_route.h"
#include "library/track_info.h"

bool read_library_track(const WideString& full_path, Utf8String& info_json) {
  TrackInfo info;
  if (!read_track_info(full_path, info)) return false;
  info_json = track_info_json(info);
  return true;
}
