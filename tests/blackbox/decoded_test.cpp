// The decoded stream seen from outside: real files made by Debian's ffmpeg
// and TagLib's samples, decoded by the service and compared with reference
// PCM from the same ffmpeg.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The fixtures, made once per run of the suite.
fs::path fixtures() {
  static const fs::path made = [] {
    const char* script = std::getenv("TESSAVIN_DECODED_FIXTURES");
    const char* samples = std::getenv("TESSAVIN_TAGLIB_SAMPLES");
    const char* out = std::getenv("TESSAVIN_DECODED_OUT");
    if (script == nullptr || samples == nullptr || out == nullptr) return fs::path();
    if (run_command({"/bin/sh", script, out, samples}) != 0) return fs::path();
    return fs::path(out);
  }();
  return made;
}

struct Answer {
  std::string status;  // the status line
  std::string head;    // the header lines, each ending in CR LF
  std::string body;
  std::uint64_t content_length = 0;
};

Answer split(const std::string& received) {
  Answer answer;
  const auto end = received.find("\r\n\r\n");
  if (end == std::string::npos) return answer;
  answer.status = received.substr(0, received.find("\r\n"));
  answer.head = received.substr(0, end + 2);
  answer.body = received.substr(end + 4);
  const auto at = answer.head.find("Content-Length: ");
  if (at != std::string::npos) answer.content_length = std::stoull(answer.head.substr(at + 16));
  return answer;
}

std::uint32_t little(const std::string& bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
  }
  return value;
}

struct Listed {
  std::string name;
  std::uint64_t number = 0;  // bits for lossless files, ffprobe's frames for lossy ones
  std::uint64_t codec_frame = 0;
};

std::vector<Listed> listed(const std::string& list) {
  std::vector<Listed> entries;
  std::istringstream lines(read_file(fixtures() / list));
  Listed entry;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    entry = {};
    fields >> entry.name >> entry.number >> entry.codec_frame;
    if (!entry.name.empty()) entries.push_back(entry);
  }
  return entries;
}

class Decoded : public RunningService {
 protected:
  void SetUp() override {
    ASSERT_FALSE(fixtures().empty()) << "the decoded stream's fixtures could not be made";
    RunningService::SetUp();
    fs::create_directories(install.app / "data" / "music");
  }
  void add(const fs::path& file) {
    fs::copy_file(file, install.app / "data" / "music" / file.filename(),
                  fs::copy_options::overwrite_existing);
  }
  Answer get(const std::string& name, const std::string& range = "") {
    std::string text = "GET /api/music/decoded?path=" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!range.empty()) text += "Range: " + range + "\r\n";
    const Exchange got = blackbox::exchange(port, text + "\r\n");
    EXPECT_TRUE(got.closed) << name << " " << range;
    return split(got.received);
  }
};

// Lossless sources: the whole stream is the reference PCM behind a header
// that tells its shape and exact length, and any range is the same slice of it.
TEST_F(Decoded, LosslessSourcesAreExactWholeAndInRanges) {
  std::mt19937 random(19);
  for (const Listed& file : listed("lossless.txt")) {
    SCOPED_TRACE(file.name);
    add(fixtures() / file.name);
    const std::string reference = read_file(fixtures() / (file.name + ".pcm"));
    const Answer whole = get(file.name);
    ASSERT_EQ(whole.status, "HTTP/1.1 200 OK");
    EXPECT_NE(whole.head.find("Content-Type: audio/wav\r\n"), std::string::npos);
    EXPECT_NE(whole.head.find("Accept-Ranges: bytes\r\n"), std::string::npos);
    ASSERT_EQ(whole.body.size(), whole.content_length);
    ASSERT_GE(whole.body.size(), 44u);
    const std::uint32_t channels = little(whole.body, 22, 2);
    const std::uint32_t bits = little(whole.body, 34, 2);
    EXPECT_EQ(bits, file.number);
    EXPECT_EQ(little(whole.body, 40, 4), whole.body.size() - 44);
    const std::string data = whole.body.substr(44);
    if (file.name.ends_with(".wma")) {
      // ASF records the length in milliseconds only: the promise is the
      // demuxer's figure, within a millisecond of the real one.
      const std::uint64_t frame = channels * bits / 8;
      const auto promised = static_cast<std::int64_t>(data.size() / frame);
      const auto real = static_cast<std::int64_t>(reference.size() / frame);
      EXPECT_LE(std::llabs(promised - real), 45);
      EXPECT_EQ(data, reference.substr(0, data.size()));
    } else {
      EXPECT_EQ(data.size(), reference.size()) << "the promised length is not the real one";
      EXPECT_TRUE(data == reference) << "the decoded data differ from the reference";
    }
    for (int i = 0; i < 50; ++i) {
      const std::uint64_t first = random() % whole.body.size();
      const std::uint64_t last =
          std::min<std::uint64_t>(whole.body.size() - 1, first + random() % 300000);
      const std::string range = "bytes=" + std::to_string(first) + "-" + std::to_string(last);
      const Answer part = get(file.name, range);
      ASSERT_EQ(part.status, "HTTP/1.1 206 Partial Content") << range;
      EXPECT_NE(part.head.find("Content-Range: bytes " + std::to_string(first) + "-" +
                               std::to_string(last) + "/" + std::to_string(whole.body.size())),
                std::string::npos)
          << range;
      ASSERT_TRUE(part.body == whole.body.substr(first, last - first + 1)) << range;
    }
    const Answer past = get(file.name, "bytes=" + std::to_string(whole.body.size()) + "-");
    EXPECT_EQ(past.status, "HTTP/1.1 416 Range Not Satisfiable");
  }
  expect_ping_answered();
}

// Lossy sources: the promised length is ffprobe's within one codec frame,
// and ranges that begin a pre-roll or more into the audio agree with the
// whole decode: MP3, WMA and Vorbis to the bit; AAC and Opus, whose decoders
// carry state a seek cannot restore, to within a few steps of 16-bit audio.
TEST_F(Decoded, LossySourcesHaveTheirLengthAndAgreeInRanges) {
  std::mt19937 random(5);
  for (const Listed& file : listed("lossy.txt")) {
    SCOPED_TRACE(file.name);
    add(fixtures() / file.name);
    const Answer whole = get(file.name);
    ASSERT_EQ(whole.status, "HTTP/1.1 200 OK");
    ASSERT_EQ(whole.body.size(), whole.content_length);
    const std::uint64_t channels = little(whole.body, 22, 2);
    const std::uint64_t frame = channels * 2;
    const std::uint64_t promised = (whole.body.size() - 44) / frame;
    EXPECT_LE(promised > file.number ? promised - file.number : file.number - promised,
              file.codec_frame);
    // AAC's noise substitution draws from a generator a seek cannot rewind.
    const bool exact = file.name.find("aac") == std::string::npos &&
                       !file.name.ends_with(".opus");
    for (int i = 0; i < 20; ++i) {
      // From about a second in (past every pre-roll) to anywhere.
      const std::uint64_t first = 44 + (44100 + random() % (promised - 88200)) * frame;
      const std::uint64_t last = std::min<std::uint64_t>(whole.body.size() - 1, first + 200000);
      const std::string range = "bytes=" + std::to_string(first) + "-" + std::to_string(last);
      const Answer part = get(file.name, range);
      ASSERT_EQ(part.status, "HTTP/1.1 206 Partial Content") << range;
      ASSERT_EQ(part.body.size(), last - first + 1) << range;
      const std::string slice = whole.body.substr(first, last - first + 1);
      if (exact) {
        ASSERT_TRUE(part.body == slice) << range;
        continue;
      }
      // Sample by sample (both start on a sample, as first - 44 is whole
      // frames): the difference stays far below the signal.
      double signal = 0;
      double error = 0;
      for (std::size_t at = 0; at + 1 < slice.size(); at += 2) {
        const double a = static_cast<std::int16_t>(little(part.body, at, 2));
        const double b = static_cast<std::int16_t>(little(slice, at, 2));
        signal += b * b;
        error += (a - b) * (a - b);
      }
      EXPECT_LT(error, signal / 100) << range << ": not the same audio at the same place";
    }
  }
  expect_ping_answered();
}

// Cut short, lying about their kind, crafted to break readers: each answers
// an error or a stream no longer than it promised, soon, and the service stays up.
TEST_F(Decoded, BadFilesNeitherCrashNorHang) {
  for (const auto& entry : fs::directory_iterator(fixtures() / "bad")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    add(entry.path());
    for (const std::string range : {"", "bytes=100000-", "bytes=-5000"}) {
      const auto asked = std::chrono::steady_clock::now();
      const Answer got = get(name, range);
      EXPECT_LT(std::chrono::steady_clock::now() - asked, 15s) << range;
      const bool stream = got.status == "HTTP/1.1 200 OK" ||
                          got.status == "HTTP/1.1 206 Partial Content";
      const bool refused = got.status == "HTTP/1.1 415 Unsupported Media Type" ||
                           got.status == "HTTP/1.1 416 Range Not Satisfiable";
      EXPECT_TRUE(stream || refused) << range << ": " << got.status;
      if (stream) {
        EXPECT_LE(got.body.size(), got.content_length) << range;
      }
    }
    expect_ping_answered();
  }
}

// A client that goes away in the middle stops the decoder and releases the
// file; many open streams leave ping answered at once.
TEST_F(Decoded, ClientsThatLeaveOrStallStopTheDecoder) {
  add(fixtures() / "tone.flac");
  std::vector<std::unique_ptr<Client>> stalled;
  for (int i = 0; i < 16; ++i) {
    auto client = std::make_unique<Client>(port);
    const int small = 4096;
    setsockopt(client->fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(client->send("GET /api/music/decoded?path=tone.flac HTTP/1.1\r\n\r\n"));
    stalled.push_back(std::move(client));
  }
  for (auto& client : stalled) EXPECT_TRUE(client->anything_within(10s));
  const auto asked = std::chrono::steady_clock::now();
  expect_ping_answered();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s) << "open streams held ping up";
  stalled.clear();  // they all go away

  // Once every client has gone, nothing holds the file open for long.
  const fs::path file = fs::canonical(install.app / "data" / "music" / "tone.flac");
  bool released = false;
  for (const auto deadline = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < deadline;) {
    std::error_code error;
    bool open = false;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
      for (const auto& fd : fs::directory_iterator(process.path() / "fd", error)) {
        std::error_code ignored;
        if (fs::read_symlink(fd.path(), ignored) == file) open = true;
      }
    }
    if (!open) {
      released = true;
      break;
    }
    std::this_thread::sleep_for(250ms);
  }
  EXPECT_TRUE(released) << "the file stayed open after its clients left";
  expect_ping_answered();
}

TEST_F(Decoded, PathsAndKindsAnswerAsForTheMediaRoute) {
  add(fixtures() / "tone.flac");
  write_file(install.app / "data" / "music" / "cover.jpg", "not audio");
  EXPECT_EQ(get("..%2Fx.flac").status, "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(get("missing.flac").status, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(get("cover.jpg").status, "HTTP/1.1 415 Unsupported Media Type");
  const Answer part = get("tone.flac", "bytes=0-43");
  EXPECT_EQ(part.status, "HTTP/1.1 206 Partial Content");
  EXPECT_EQ(part.body.substr(0, 4), "RIFF");
}

}  // namespace
}  // namespace blackbox
