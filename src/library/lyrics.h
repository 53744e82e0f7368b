#pragma once
// A track's lyrics as UTF-8: the sidecar .lrc of the same stem first, then
// the lyrics embedded in the audio file (ID3v2 USLT, Vorbis and FLAC LYRICS,
// MP4 "\251lyr", APE Lyrics).
#include "text/strings.h"

// Sidecars larger than this are not lyrics.
inline constexpr std::size_t kLyricsLimit = 4u << 20;

struct Lyrics {
  Utf8String text;
  Utf8String encoding;  // as found: "UTF-8", "UTF-16LE", "GB18030", "SHIFT_JIS", ...
};

// The sidecar of an audio file: the same path with ".lrc" (or ".LRC") in
// place of its extension, when that file exists.
bool find_sidecar_lyrics(const WideString& audio_path, WideString& lrc_path);

// The lyrics for `full_path`, a resolved audio file or .lrc file. False when
// the file is neither, is missing, or has no lyrics.
bool read_lyrics(const WideString& full_path, Lyrics& lyrics);
