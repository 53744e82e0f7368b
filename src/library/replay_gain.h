#pragma once
// ReplayGain as tags write it, whatever the container: text such as
// "-6.54 dB" and "0.987654" under REPLAYGAIN_* keys, or Opus's R128 gains
// (a Q7.8 number relative to -23 LUFS).
#include <functional>
#include <optional>

#include "library/track_info.h"

// A gain in dB ("-6.54 dB", "+1.2", "-6.54dB"); nullopt for anything else.
std::optional<double> parse_gain(const Utf8String& text);
// A sample peak ("0.987654", "1.02"); nullopt for anything else.
std::optional<double> parse_peak(const Utf8String& text);
// An R128 gain in Q7.8 ("-1280"), as the ReplayGain it stands for, in dB.
std::optional<double> parse_r128_gain(const Utf8String& text);

// Fills the four ReplayGain fields from the tag value of each key, as
// `value` looks it up. REPLAYGAIN_* wins over R128_*.
void read_replay_gain(const std::function<std::optional<Utf8String>(const char*)>& value,
                      TrackInfo& info);
