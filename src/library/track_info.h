#pragma once
// What one audio file says about itself: its tags, its audio properties, its
// ReplayGain, and whether cover art and lyrics exist for it. Each field is
// absent when the file does not carry it.
#include <cstdint>
#include <optional>

#include "text/strings.h"

struct TrackInfo {
  // Tags, as UTF-8.
  std::optional<Utf8String> title;
  std::optional<Utf8String> artist;
  std::optional<Utf8String> album;
  std::optional<Utf8String> album_artist;
  std::optional<int> track;
  std::optional<int> track_total;
  std::optional<int> disc;
  std::optional<int> disc_total;
  std::optional<int> year;
  std::optional<Utf8String> date;  // the tag's own text, when it says more than the year
  std::optional<Utf8String> genre;
  std::optional<Utf8String> composer;

  // Audio properties.
  std::optional<std::int64_t> duration_ms;
  std::optional<int> bitrate_kbps;
  std::optional<int> sample_rate;
  std::optional<int> channels;
  std::optional<int> bits_per_sample;
  std::optional<Utf8String> codec;  // "mp3", "aac", "alac", "flac", "vorbis", "opus", ...
  std::optional<bool> lossless;

  // ReplayGain, in dB and as a linear sample peak.
  std::optional<double> track_gain_db;
  std::optional<double> track_peak;
  std::optional<double> album_gain_db;
  std::optional<double> album_peak;

  bool has_cover = false;   // a picture is embedded in the file
  bool has_lyrics = false;  // embedded, or a sidecar .lrc of the same stem
};

// Reads one audio file's facts through the platform seam; `full_path` is
// resolved and of a listed kind. False when it cannot be opened or read.
bool read_track_info(const WideString& full_path, TrackInfo& info);

// The compact JSON object of the fields the file carries, without "path".
Utf8String track_info_json(const TrackInfo& info);
