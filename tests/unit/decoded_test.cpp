#include "music/decoded.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "answers.h"
#include "decode/decoded_range.h"
#include "decode/decoder.h"
#include "fake_platform.h"
#include "http/routes.h"
#include "service/paths.h"
#include "temp_dir.h"

using namespace expected;

// A scripted decoder: frame f holds a pattern of f and the byte's place, for
// `real_frames` frames, while the track promises `track.frames`.
struct FakeDecoder {
  DecodedTrack track;
  std::uint64_t real_frames = 0;
  bool open_fails = false;
  bool seek_fails = false;
  std::uint64_t failing_frame = UINT64_MAX;  // a read reaching it fails
  int opens = 0;
  int decoders = 0;  // opens that succeeded
  int closes = 0;
  std::vector<std::uint64_t> seeks;
  std::uint64_t frames_read = 0;
};
FakeDecoder g_fake;

namespace {

// The fake's own state, handed out under the seam's opaque type.
struct FakeState {
  std::uint64_t position = 0;
};
FakeState* fake_state(DecoderState* state) { return reinterpret_cast<FakeState*>(state); }

char pattern_byte(std::uint64_t frame, std::uint32_t place) {
  return static_cast<char>((frame * 7 + place * 13 + (frame >> 8)) & 0xFF);
}

DecoderState* fake_open(FileHandle, DecodedTrack& track) {
  ++g_fake.opens;
  if (g_fake.open_fails) return nullptr;
  track = g_fake.track;
  ++g_fake.decoders;
  return reinterpret_cast<DecoderState*>(new FakeState);
}
bool fake_seek(DecoderState* opaque, std::uint64_t frame) {
  FakeState* state = fake_state(opaque);
  g_fake.seeks.push_back(frame);
  if (g_fake.seek_fails) return false;
  state->position = frame;
  return true;
}
long fake_read(DecoderState* opaque, char* buffer, std::size_t frames) {
  FakeState* state = fake_state(opaque);
  const std::uint32_t size = frame_bytes(g_fake.track);
  std::size_t done = 0;
  // Short reads now and then, as a real decoder hands out its frames.
  const std::size_t most = frames > 1 ? frames - 1 : 1;
  while (done < most && state->position < g_fake.real_frames) {
    if (state->position >= g_fake.failing_frame) return done > 0 ? static_cast<long>(done) : -1;
    for (std::uint32_t b = 0; b < size; ++b) {
      buffer[done * size + b] = pattern_byte(state->position, b);
    }
    ++state->position;
    ++done;
    ++g_fake.frames_read;
  }
  return static_cast<long>(done);
}
void fake_close(DecoderState* state) {
  ++g_fake.closes;
  delete fake_state(state);
}
const DecoderOps kFakeOps = {fake_open, fake_seek, fake_read, fake_close};

std::set<FileHandle> g_open;
FileHandle watched_open(const WideString& path, DeleteSharing sharing) {
  const FileHandle file = native_platform().open_for_read(path, sharing);
  if (file != kNoFile) g_open.insert(file);
  return file;
}
void watched_close(FileHandle file) {
  g_open.erase(file);
  native_platform().close_file(file);
}

// The whole stream the fake decoder's track should give.
std::string whole_stream() {
  const std::uint64_t frames = promised_frames(g_fake.track);
  std::string bytes = wav_header(g_fake.track, frames);
  const std::uint32_t size = frame_bytes(g_fake.track);
  for (std::uint64_t f = 0; f < frames; ++f) {
    for (std::uint32_t b = 0; b < size; ++b) {
      bytes += f < g_fake.real_frames ? pattern_byte(f, b) : '\0';
    }
  }
  return bytes;
}

DecodedTrack track_of(std::uint32_t channels, std::uint32_t bits, std::uint64_t frames) {
  DecodedTrack track;
  track.channels = channels;
  track.sample_rate = 44100;
  track.bits = bits;
  track.frames = frames;
  return track;
}

}  // namespace

TEST(DecodedRange, MapsStreamBytesToHeaderAndFrames) {
  const struct {
    std::uint64_t first, last, frame;  // inclusive byte positions, bytes per frame
    DecodedSpan span;
  } cases[] = {
      {0, 43, 4, {0, 44, 0, 0, 0}},         // the header alone
      {0, 0, 4, {0, 1, 0, 0, 0}},           // its first byte
      {10, 20, 4, {10, 11, 0, 0, 0}},       // inside it
      {40, 51, 4, {40, 4, 0, 0, 8}},        // from inside the header into the data
      {44, 47, 4, {0, 0, 0, 0, 4}},         // exactly the first frame
      {45, 46, 4, {0, 0, 0, 1, 2}},         // inside the first frame
      {44 + 4 * 1000 + 3, 44 + 4 * 2000, 4, {0, 0, 1000, 3, 4 * 1000 - 2}},
      {44 + 6 * 10 + 5, 44 + 6 * 11, 6, {0, 0, 10, 5, 2}},  // 24-bit stereo
      {44 + 3 * 7 + 2, 44 + 3 * 9 + 1, 3, {0, 0, 7, 2, 6}},  // 24-bit mono
      {44 + 2 * 5 + 1, 44 + 2 * 5 + 1, 2, {0, 0, 5, 1, 1}},  // 16-bit mono, one byte
  };
  for (const auto& c : cases) {
    const DecodedSpan got = map_decoded_range(c.first, c.last, kWavHeaderBytes, c.frame);
    EXPECT_EQ(got.header_first, c.span.header_first) << c.first << "-" << c.last;
    EXPECT_EQ(got.header_count, c.span.header_count) << c.first << "-" << c.last;
    EXPECT_EQ(got.first_frame, c.span.first_frame) << c.first << "-" << c.last;
    EXPECT_EQ(got.skip, c.span.skip) << c.first << "-" << c.last;
    EXPECT_EQ(got.data_count, c.span.data_count) << c.first << "-" << c.last;
  }
}

TEST(DecodedRange, WavHeaderStatesTheShapeAndLength) {
  DecodedTrack track = track_of(1, 24, 1000);
  track.sample_rate = 48000;
  const std::string header = wav_header(track, 1000);
  ASSERT_EQ(header.size(), kWavHeaderBytes);
  const std::string expected_header = std::string("RIFF") + std::string("\xDC\x0B\0\0", 4) +
                                      "WAVEfmt " + std::string("\x10\0\0\0\x01\0\x01\0", 8) +
                                      std::string("\x80\xBB\0\0\x80\x32\x02\0\x03\0\x18\0", 12) +
                                      "data" + std::string("\xB8\x0B\0\0", 4);
  EXPECT_EQ(header, expected_header);
  EXPECT_EQ(decoded_size(track, 1000), 44u + 3000u);
}

TEST(DecodedRange, PromiseFitsTheWavSizes) {
  EXPECT_EQ(promised_frames(track_of(2, 16, 5)), 5u);
  // 32-bit RIFF sizes: at most 0xFFFFFFFF - 36 data bytes, whole frames only.
  EXPECT_EQ(promised_frames(track_of(2, 24, 1ull << 40)), (0xFFFFFFFFull - 36) / 6);
  EXPECT_EQ(promised_frames(track_of(0, 16, 5)), 0u);
}

class Decoded : public ::testing::Test {
 protected:
  TempDir dir;
  PlatformOverride fake;
  std::filesystem::path music = dir.path / "data" / "music";

  void SetUp() override {
    g_fake = {};
    g_open.clear();
    g_fake.track = track_of(2, 16, 30000);
    g_fake.real_frames = 30000;
    set_decoder_ops(&kFakeOps);
    fake.ops.open_for_read = watched_open;
    fake.ops.close_file = watched_close;
    set_service_directories(dir.path.u16string());
    std::filesystem::create_directories(music / "Live");
    write_file(music / "Live" / "01 Intro.ape", "bytes the fake decoder never reads");
    write_file(music / "cover.jpg", "picture");
    write_file(music / "notes.txt", "text");
  }
  void TearDown() override {
    set_decoder_ops(nullptr);
    EXPECT_TRUE(g_open.empty()) << "a file was left open";
    EXPECT_EQ(g_fake.decoders, g_fake.closes)
        << "a decoder was left open";
  }

  std::string get(const std::string& raw_path, const std::string& range = "") {
    use_scripted_peer(fake.ops);
    HttpRequest request;
    request.method = "GET";
    request.target = "/api/music/decoded?path=" + raw_path;
    request.path = "/api/music/decoded";
    request.head = "GET " + request.target + " HTTP/1.1\r\nHost: x";
    if (!range.empty()) request.head += "\r\nRange: " + range;
    dispatch_request(kFakeSocket, request);
    return peer().received;
  }
  static std::string wav_range(const std::string& whole, std::uint64_t first, std::uint64_t last) {
    return media_head("audio/wav", last - first + 1,
                      std::to_string(first) + "-" + std::to_string(last) + "/" +
                          std::to_string(whole.size())) +
           whole.substr(first, last - first + 1);
  }
};

TEST_F(Decoded, WholeAndRangesForEveryFrameShape) {
  const std::string path = "Live/01%20Intro.ape";
  for (const auto& shape : {track_of(2, 16, 30000), track_of(1, 16, 60001),
                            track_of(1, 24, 39999), track_of(2, 24, 30000)}) {
    g_fake.track = shape;
    g_fake.real_frames = shape.frames;
    const std::string whole = whole_stream();
    const std::uint64_t n = whole.size();
    SCOPED_TRACE(std::to_string(shape.channels) + " channels, " + std::to_string(shape.bits));
    EXPECT_EQ(get(path), media_head("audio/wav", n) + whole);
    const struct {
      std::string range;
      std::uint64_t first, last;
    } cases[] = {
        {"bytes=0-", 0, n - 1},
        {"bytes=0-0", 0, 0},
        {"bytes=0-43", 0, 43},        // the header only
        {"bytes=20-100", 20, 100},    // from inside the header on
        {"bytes=45-", 45, n - 1},     // inside the first frame
        {"bytes=70001-70003", 70001, 70003},
        {"bytes=100000-99999999", 100000, n - 1},  // past the promised end
        {"bytes=-7", n - 7, n - 1},
        {"bytes=-99999999", 0, n - 1},
    };
    for (const auto& c : cases) {
      EXPECT_EQ(get(path, c.range), wav_range(whole, c.first, c.last)) << c.range;
    }
    EXPECT_EQ(get(path, "bytes=" + std::to_string(n) + "-"), unsatisfiable(n));
    EXPECT_EQ(get(path, "bytes=-0"), unsatisfiable(n));
    EXPECT_EQ(get(path, "Bytes=0-9"), media_head("audio/wav", n) + whole);
  }
}

TEST_F(Decoded, RandomRangesEqualSlicesOfTheWhole) {
  g_fake.track = track_of(2, 24, 40000);
  g_fake.real_frames = 40000;
  const std::string whole = whole_stream();
  std::mt19937 random(7);
  for (int i = 0; i < 50; ++i) {
    const std::uint64_t first = random() % whole.size();
    const std::uint64_t last = std::min<std::uint64_t>(whole.size() - 1, first + random() % 150000);
    const std::string range = "bytes=" + std::to_string(first) + "-" + std::to_string(last);
    ASSERT_EQ(get("Live/01%20Intro.ape", range), wav_range(whole, first, last)) << range;
  }
}

// A range is decoded from its own first frame on: one seek there, none at all
// for a range that starts in the header or the first frame.
TEST_F(Decoded, RangeSeeksStraightToItsFirstFrame) {
  get("Live/01%20Intro.ape", "bytes=" + std::to_string(44 + 4 * 25000 + 2) + "-");
  EXPECT_EQ(g_fake.seeks, std::vector<std::uint64_t>{25000});
  EXPECT_EQ(g_fake.frames_read, 5000u);
  g_fake.seeks.clear();
  get("Live/01%20Intro.ape", "bytes=10-50");
  get("Live/01%20Intro.ape", "bytes=44-47");
  EXPECT_TRUE(g_fake.seeks.empty());
}

// Audio that ends early is padded with silence; audio beyond the promise is cut.
TEST_F(Decoded, EveryPromisedByteExistsAndNoneBeyond) {
  g_fake.real_frames = 12345;
  const std::string short_whole = whole_stream();
  EXPECT_EQ(short_whole.size(), 44u + 4u * 30000u);
  EXPECT_EQ(get("Live/01%20Intro.ape"), media_head("audio/wav", short_whole.size()) + short_whole);
  g_fake.real_frames = 50000;
  const std::string cut = whole_stream();
  EXPECT_EQ(get("Live/01%20Intro.ape"), media_head("audio/wav", cut.size()) + cut);
  EXPECT_LE(g_fake.frames_read, 30000u + 30000u);
}

TEST_F(Decoded, ZeroFramesIsAHeaderOnly) {
  g_fake.track = track_of(2, 16, 0);
  g_fake.real_frames = 0;
  const std::string whole = whole_stream();
  EXPECT_EQ(whole.size(), 44u);
  EXPECT_EQ(get("Live/01%20Intro.ape"), media_head("audio/wav", 44) + whole);
  EXPECT_EQ(get("Live/01%20Intro.ape", "bytes=44-"), unsatisfiable(44));
}

// The file cannot be read part way: the stream ends short, the connection is
// closed, and the decoder and the file are released.
TEST_F(Decoded, ReadFailureEndsTheStreamShort) {
  g_fake.failing_frame = 20000;
  const std::string whole = whole_stream();
  const std::string got = get("Live/01%20Intro.ape");
  const std::string head = media_head("audio/wav", whole.size());
  ASSERT_GT(got.size(), head.size());
  EXPECT_LT(got.size(), head.size() + whole.size());
  EXPECT_EQ(got, (head + whole).substr(0, got.size()));
}

TEST_F(Decoded, FailuresAnswerOnce) {
  g_fake.seek_fails = true;
  EXPECT_EQ(get("Live/01%20Intro.ape", "bytes=50000-"),
            answer("500 Internal Server Error", "text/plain; charset=utf-8", "seek error"));
  g_fake.seek_fails = false;
  const std::string not_decodable =
      json("415 Unsupported Media Type", "{\"error\":\"cannot decode\"}");
  g_fake.open_fails = true;
  EXPECT_EQ(get("Live/01%20Intro.ape"), not_decodable);
  const int opens = g_fake.opens;
  // Pictures and files the tree does not list never reach the decoder.
  EXPECT_EQ(get("cover.jpg"), not_decodable);
  EXPECT_EQ(get("notes.txt"), kDocumentNotFound);
  EXPECT_EQ(g_fake.opens, opens);
}

TEST_F(Decoded, PathsAreCheckedAsForTheMediaRoute) {
  const struct {
    const char* raw;
    const std::string& answer;
  } cases[] = {
      {"", kInvalidPath},
      {"%2Fetc%2Fpasswd", kInvalidPath},
      {"Live/..%2F..%2Fx.mp3", kInvalidPath},
      {"C:%5Cx.mp3", kInvalidPath},
      {"a%0Ab.mp3", kInvalidPath},
      {"Live", kDocumentNotFound},
      {".", kDocumentNotFound},
      {"nothing.mp3", kDocumentNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(get(c.raw), c.answer) << c.raw;
  EXPECT_EQ(get(std::string(701, 'a')), kInvalidPath);
  EXPECT_EQ(g_fake.opens, 0);
}

// A client that stops taking bytes stops the decoder at once.
TEST_F(Decoded, FailedSendStopsDecoding) {
  g_fake.track = track_of(2, 16, 10000000);
  g_fake.real_frames = 10000000;
  use_scripted_peer(fake.ops);
  peer().failing_send = 3;
  HttpRequest request;
  request.method = "GET";
  request.target = "/api/music/decoded?path=Live/01%20Intro.ape";
  request.path = "/api/music/decoded";
  request.head = "GET " + request.target + " HTTP/1.1";
  dispatch_request(kFakeSocket, request);
  // Two chunks of 16384 frames went out; the third failed and nothing followed.
  EXPECT_LE(g_fake.frames_read, 3u * 16384u);
  EXPECT_EQ(g_fake.closes, 1);
}
