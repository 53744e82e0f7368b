// The FFmpeg adapter itself, over a real file made by Debian's ffmpeg at
// build time: seeks land exactly, and a file that cannot be read part way is
// reported as a failure, never as the end of the audio.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "decode/decoder.h"
#include "fake_platform.h"
#include "text/utf.h"

namespace {

int g_reads = 0;
int g_failing_read = 0;  // 1-based read from which on reads fail; 0: none
long failing_read(FileHandle file, char* buffer, std::size_t length) {
  ++g_reads;
  if (g_failing_read > 0 && g_reads >= g_failing_read) return -1;
  return native_platform().read_file(file, buffer, length);
}

struct Opened {
  FileHandle file = kNoFile;
  DecoderState* state = nullptr;
  DecodedTrack track;
  explicit Opened(const char* path) {
    file = platform().open_for_read(utf8_to_utf16(path), DeleteSharing::allowed);
    if (file != kNoFile) state = library_decoder_ops().open(file, track);
  }
  ~Opened() {
    if (state != nullptr) library_decoder_ops().close(state);
    if (file != kNoFile) platform().close_file(file);
  }
  // Frames until the end or a failure; `failed` tells which.
  std::string read_all(bool& failed, std::size_t chunk = 4096) {
    std::string out;
    std::string buffer(chunk * frame_bytes(track), '\0');
    failed = false;
    for (;;) {
      const long got = library_decoder_ops().read(state, buffer.data(), chunk);
      if (got < 0) failed = true;
      if (got <= 0) return out;
      out.append(buffer.data(), static_cast<std::size_t>(got) * frame_bytes(track));
    }
  }
};

const char* const kFiles[] = {TESSAVIN_ADAPTER_FLAC, TESSAVIN_ADAPTER_MP3};

}  // namespace

TEST(DecoderAdapter, SeeksLandExactly) {
  for (const char* path : kFiles) {
    SCOPED_TRACE(path);
    bool failed = false;
    Opened whole(path);
    ASSERT_NE(whole.state, nullptr);
    EXPECT_EQ(whole.track.channels, 2u);
    EXPECT_EQ(whole.track.sample_rate, 22050u);
    const std::string all = whole.read_all(failed);
    EXPECT_FALSE(failed);
    const std::size_t size = frame_bytes(whole.track);
    ASSERT_GT(all.size(), 0u);
    std::mt19937 random(3);
    Opened seeking(path);
    ASSERT_NE(seeking.state, nullptr);
    for (int i = 0; i < 20; ++i) {
      // Past the MP3 decoder's pre-roll, as the route documents.
      const std::uint64_t frame = 8192 + random() % (all.size() / size - 9000);
      ASSERT_TRUE(library_decoder_ops().seek(seeking.state, frame)) << frame;
      std::string got(1000 * size, '\0');
      ASSERT_EQ(library_decoder_ops().read(seeking.state, got.data(), 1000), 1000) << frame;
      EXPECT_TRUE(got == all.substr(frame * size, 1000 * size)) << "seek to " << frame;
    }
  }
}

TEST(DecoderAdapter, ReadFailureIsNeverTheEnd) {
  PlatformOverride fake;
  fake.ops.read_file = failing_read;
  for (const char* path : kFiles) {
    SCOPED_TRACE(path);
    g_failing_read = 0;
    g_reads = 0;
    bool failed = false;
    std::size_t whole_size = 0;
    int reads = 0;
    {
      Opened whole(path);
      ASSERT_NE(whole.state, nullptr);
      whole_size = whole.read_all(failed).size();
      reads = g_reads;
    }
    for (int failing = 1; failing <= reads; ++failing) {
      g_reads = 0;
      g_failing_read = failing;
      Opened broken(path);
      if (broken.state == nullptr) continue;  // refused at the start
      const std::string got = broken.read_all(failed);
      EXPECT_TRUE(failed) << "read " << failing << " failed, yet the audio ended normally";
      EXPECT_LE(got.size(), whole_size);  // the last read may fail after all the data
    }
    g_failing_read = 0;
  }
}
