#pragma once
// A decoded stream is a WAV header followed by the PCM data, sample frame
// after sample frame. These map it to bytes and back.
#include <cstdint>

#include "decode/decoder.h"
#include "text/strings.h"

// The WAV header in front of the data: 44 bytes.
inline constexpr std::uint32_t kWavHeaderBytes = 44;

// The frame count to promise for `track`: its own, lowered so that the data
// fits the 32-bit sizes of the WAV header.
std::uint64_t promised_frames(const DecodedTrack& track);

// Header bytes plus data bytes of the stream for `track` with `frames` frames.
std::uint64_t decoded_size(const DecodedTrack& track, std::uint64_t frames);

// The WAV header for `track` with `frames` frames of data.
Utf8String wav_header(const DecodedTrack& track, std::uint64_t frames);

// What to send for the stream bytes `first` to `last` (inclusive), where the
// header has `header_bytes` bytes and each frame `bytes_per_frame`.
struct DecodedSpan {
  std::uint64_t header_first = 0;  // first header byte to send
  std::uint64_t header_count = 0;  // header bytes to send, from header_first
  std::uint64_t first_frame = 0;   // the frame holding the first data byte
  std::uint64_t skip = 0;          // bytes of that frame before the first one sent
  std::uint64_t data_count = 0;    // data bytes to send
};
DecodedSpan map_decoded_range(std::uint64_t first, std::uint64_t last, std::uint64_t header_bytes,
                              std::uint64_t bytes_per_frame);
