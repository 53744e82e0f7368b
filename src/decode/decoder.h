#pragma once
// The seam between the decoded stream and the library that decodes: open a
// file, learn its PCM shape and exact length, seek to a sample frame, read
// interleaved little-endian PCM frames. The FFmpeg adapter fills it in; tests
// install a fake to script a decode, a seek or a failure.
#include <cstddef>
#include <cstdint>

#include "service/platform.h"

// What the decoded stream carries: interleaved signed little-endian PCM.
struct DecodedTrack {
  std::uint32_t channels = 0;
  std::uint32_t sample_rate = 0;
  std::uint32_t bits = 16;  // 16, or 24 where the source holds more than 16
  // The number of sample frames the stream promises: the container's exact
  // figure where it records one, else the demuxer's best estimate.
  std::uint64_t frames = 0;
};

struct DecoderState;

struct DecoderOps {
  // Starts decoding the open file (which stays the caller's) from frame 0;
  // nullptr when it holds no decodable audio. On success `track` is filled.
  DecoderState* (*open)(FileHandle file, DecodedTrack& track);
  // Makes the next read begin exactly at `frame` of a decode from the start;
  // false when the source cannot be positioned there.
  bool (*seek)(DecoderState* state, std::uint64_t frame);
  // Up to `frames` sample frames into `buffer`, which holds at least that
  // many; the count of frames written, 0 at the end of the audio (also where
  // the data breaks off or is corrupt), negative when the file cannot be read.
  long (*read)(DecoderState* state, char* buffer, std::size_t frames);
  void (*close)(DecoderState* state);
};

// The decoder in force: the library's own unless a test installed another.
const DecoderOps& decoder_ops();
// The library's own table, defined by the adapter.
const DecoderOps& library_decoder_ops();
// Installs `ops` (or the library's table again for nullptr). Tests only.
void set_decoder_ops(const DecoderOps* ops);

// Bytes of one sample frame of `track`.
inline std::uint32_t frame_bytes(const DecodedTrack& track) {
  return track.channels * (track.bits / 8);
}
