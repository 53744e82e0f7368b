#include "decode/decoded_range.h"

namespace {

// RIFF sizes are 32-bit: the data chunk and the 36 bytes before it must fit.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void put16(Utf8String& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(Utf8String& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

}  // namespace

std::uint64_t promised_frames(const DecodedTrack& track) {
  const std::uint64_t per_frame = frame_bytes(track);
  if (per_frame == 0) return 0;
  const std::uint64_t most = kMaxDataBytes / per_frame;
  return track.frames < most ? track.frames : most;
}

std::uint64_t decoded_size(const DecodedTrack& track, std::uint64_t frames) {
  return kWavHeaderBytes + frames * frame_bytes(track);
}

Utf8String wav_header(const DecodedTrack& track, std::uint64_t frames) {
  const std::uint32_t block = frame_bytes(track);
  const auto data = static_cast<std::uint32_t>(frames * block);
  Utf8String out;
  out.reserve(kWavHeaderBytes);
  out += "RIFF";
  put32(out, 36 + data);
  out += "WAVEfmt ";
  put32(out, 16);
  put16(out, 1);  // integer PCM
  put16(out, track.channels);
  put32(out, track.sample_rate);
  put32(out, track.sample_rate * block);
  put16(out, block);
  put16(out, track.bits);
  out += "data";
  put32(out, data);
  return out;
}

DecodedSpan map_decoded_range(std::uint64_t first, std::uint64_t last, std::uint64_t header_bytes,
                              std::uint64_t bytes_per_frame) {
  DecodedSpan span;
  if (last < first) return span;
  if (first < header_bytes) {
    span.header_first = first;
    span.header_count = (last < header_bytes ? last + 1 : header_bytes) - first;
  }
  if (last < header_bytes || bytes_per_frame == 0) return span;
  const std::uint64_t data_first = first > header_bytes ? first - header_bytes : 0;
  span.first_frame = data_first / bytes_per_frame;
  span.skip = data_first % bytes_per_frame;
  span.data_count = last - header_bytes + 1 - data_first;
  return span;
}
