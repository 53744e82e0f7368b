#include "library/replay_gain.h"

#include <charconv>
#include <cmath>

namespace {

// A decimal number followed by nothing but `unit`, any case, and spaces.
std::optional<double> number_with_unit(const Utf8String& text, const char* unit) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  if (at < text.size() && text[at] == '+') ++at;
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data() + at, end, value,
                                             std::chars_format::fixed);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  Utf8String tail(rest, end);
  while (!tail.empty() && tail.front() == ' ') tail.erase(0, 1);
  while (!tail.empty() && tail.back() == ' ') tail.pop_back();
  for (char& c : tail) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!tail.empty() && tail != unit) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> parse_gain(const Utf8String& text) {
  const auto gain = number_with_unit(text, "db");
  // Far outside what any analysis writes: a corrupt tag.
  if (!gain || std::fabs(*gain) > 100) return std::nullopt;
  return gain;
}

std::optional<double> parse_peak(const Utf8String& text) {
  const auto peak = number_with_unit(text, "");
  if (!peak || *peak < 0 || *peak > 100) return std::nullopt;
  return peak;
}

std::optional<double> parse_r128_gain(const Utf8String& text) {
  int q78 = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, q78);
  if (error != std::errc() || rest != end || q78 < -32768 || q78 > 32767) return std::nullopt;
  // ReplayGain's reference is 5 dB louder than R128's -23 LUFS.
  return q78 / 256.0 + 5.0;
}

void read_replay_gain(const std::function<std::optional<Utf8String>(const char*)>& value,
                      TrackInfo& info) {
  auto read = [&value](const char* key, std::optional<double> (*parse)(const Utf8String&)) {
    const auto text = value(key);
    return text ? parse(*text) : std::nullopt;
  };
  info.track_gain_db = read("REPLAYGAIN_TRACK_GAIN", parse_gain);
  info.track_peak = read("REPLAYGAIN_TRACK_PEAK", parse_peak);
  info.album_gain_db = read("REPLAYGAIN_ALBUM_GAIN", parse_gain);
  info.album_peak = read("REPLAYGAIN_ALBUM_PEAK", parse_peak);
  if (!info.track_gain_db) info.track_gain_db = read("R128_TRACK_GAIN", parse_r128_gain);
  if (!info.album_gain_db) info.album_gain_db = read("R128_ALBUM_GAIN", parse_r128_gain);
}
