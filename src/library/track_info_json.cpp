#include <cmath>
#include <cstdio>
#include <string>

#include "library/track_info.h"
#include "text/json.h"

namespace {

struct JsonObject {
  Utf8String text = "{";

  void key(const char* name) {
    if (text.size() > 1) text += ',';
    text += '"';
    text += name;
    text += "\":";
  }
  void add(const char* name, const std::optional<Utf8String>& value) {
    if (!value) return;
    key(name);
    text += '"' + json_escape(*value) + '"';
  }
  template <typename Integer>
  void add(const char* name, const std::optional<Integer>& value) {
    if (!value) return;
    key(name);
    text += std::to_string(*value);
  }
  void add(const char* name, bool value) {
    key(name);
    text += value ? "true" : "false";
  }
  // JSON has no NaN or infinity; a value that is neither is printed with
  // `format`, which never depends on a locale as the service sets none.
  void add(const char* name, const std::optional<double>& value, const char* format) {
    if (!value || !std::isfinite(*value)) return;
    char number[64];
    std::snprintf(number, sizeof number, format, *value);
    key(name);
    text += number;
  }
};

}  // namespace

Utf8String track_info_json(const TrackInfo& info) {
  JsonObject out;
  out.add("title", info.title);
  out.add("artist", info.artist);
  out.add("album", info.album);
  out.add("albumArtist", info.album_artist);
  out.add("track", info.track);
  out.add("trackTotal", info.track_total);
  out.add("disc", info.disc);
  out.add("discTotal", info.disc_total);
  out.add("year", info.year);
  out.add("date", info.date);
  out.add("genre", info.genre);
  out.add("composer", info.composer);
  out.add("durationMs", info.duration_ms);
  out.add("bitrate", info.bitrate_kbps);
  out.add("sampleRate", info.sample_rate);
  out.add("channels", info.channels);
  out.add("bitsPerSample", info.bits_per_sample);
  out.add("codec", info.codec);
  if (info.lossless) out.add("lossless", *info.lossless);
  out.add("trackGain", info.track_gain_db, "%.2f");
  out.add("trackPeak", info.track_peak, "%.6f");
  out.add("albumGain", info.album_gain_db, "%.2f");
  out.add("albumPeak", info.album_peak, "%.6f");
  out.add("hasCover", info.has_cover);
  out.add("hasLyrics", info.has_lyrics);
  out.text += '}';
  return out.text;
}
