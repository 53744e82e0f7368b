// The decoded stream's decode-and-seek path over any file: the FFmpeg
// adapter reads the input through the platform seam's file operations, as
// it reads a real file. Input: four bytes (little-endian) choosing where to
// seek as a fraction of the promised length, then the file's bytes.
#include <cstring>

#include "check.h"
#include "decode/decoded_range.h"
#include "decode/decoder.h"
#include "service/platform.h"

namespace {

constexpr FileHandle kInput = 7;
const std::uint8_t* g_data = nullptr;
std::size_t g_size = 0;
std::size_t g_at = 0;

bool input_size(FileHandle, std::uint64_t& size) {
  size = g_size;
  return true;
}
bool input_seek(FileHandle, std::uint64_t offset) {
  g_at = offset > g_size ? g_size : static_cast<std::size_t>(offset);
  return true;
}
long input_read(FileHandle, char* buffer, std::size_t length) {
  const std::size_t n = length < g_size - g_at ? length : g_size - g_at;
  std::memcpy(buffer, g_data + g_at, n);
  g_at += n;
  return static_cast<long>(n);
}

// Reads up to `frames` frames, checking what each read reports.
void read_some(DecoderState* state, const DecodedTrack& track, std::size_t frames) {
  static char buffer[4096 * 64];
  const std::size_t per_read = sizeof buffer / frame_bytes(track);
  std::size_t done = 0;
  while (done < frames) {
    const std::size_t wanted = frames - done < per_read ? frames - done : per_read;
    const long got = decoder_ops().read(state, buffer, wanted);
    FUZZ_CHECK(got <= static_cast<long>(wanted));
    FUZZ_CHECK(got >= 0);  // the input itself never fails to read
    if (got == 0) return;
    done += static_cast<std::size_t>(got);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t fraction = 0;
  for (int i = 3; i >= 0; --i) fraction = fraction << 8 | data[i];
  g_data = data + 4;
  g_size = size - 4;
  g_at = 0;
  static PlatformOps ops = native_platform();
  ops.file_size = input_size;
  ops.seek_file = input_seek;
  ops.read_file = input_read;
  set_platform(&ops);

  DecodedTrack track;
  DecoderState* state = decoder_ops().open(kInput, track);
  if (state == nullptr) return 0;
  FUZZ_CHECK(track.channels >= 1 && track.channels <= 8);
  FUZZ_CHECK(track.bits == 16 || track.bits == 24);
  FUZZ_CHECK(track.sample_rate > 0);
  const std::uint64_t frames = promised_frames(track);
  read_some(state, track, 20000);
  const std::uint64_t target = frames == 0 ? 0 : (frames * fraction) >> 32;
  if (decoder_ops().seek(state, target)) read_some(state, track, 20000);
  decoder_ops().close(state);
  return 0;
}
