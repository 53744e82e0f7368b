#include "music/media.h"

#include <gtest/gtest.h>

#include <set>

#include "answers.h"
#include "fake_platform.h"
#include "http/response.h"
#include "http/routes.h"
#include "music/music_request.h"
#include "service/paths.h"
#include "temp_dir.h"
#include "text/utf.h"

namespace {

using namespace expected;

// Watches the file operations of the stream: which files are open, how many
// reads ran and the largest read asked for; a read can be made to fail.
struct FileWatch {
  std::set<FileHandle> open;
  int opens = 0;
  int reads = 0;
  std::size_t largest_read = 0;
  int failing_read = 0;  // 1-based read from which on reads fail
  bool size_fails = false;
};
FileWatch g_watch;

FileHandle watched_open(const WideString& path, DeleteSharing sharing) {
  ++g_watch.opens;
  const FileHandle file = native_platform().open_for_read(path, sharing);
  if (file != kNoFile) g_watch.open.insert(file);
  return file;
}
void watched_close(FileHandle file) {
  g_watch.open.erase(file);
  native_platform().close_file(file);
}
bool watched_size(FileHandle file, std::uint64_t& size) {
  return !g_watch.size_fails && native_platform().file_size(file, size);
}
long watched_read(FileHandle file, char* buffer, std::size_t length) {
  ++g_watch.reads;
  g_watch.largest_read = std::max(g_watch.largest_read, length);
  if (g_watch.failing_read && g_watch.reads >= g_watch.failing_read) return -1;
  return native_platform().read_file(file, buffer, length);
}

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) >> 3);
  return bytes;
}

class Media : public ::testing::Test {
 protected:
  TempDir dir;
  PlatformOverride fake;
  std::filesystem::path music = dir.path / "data" / "music";
  std::string thousand = pattern(1000);

  void SetUp() override {
    g_watch = {};
    fake.ops.open_for_read = watched_open;
    fake.ops.close_file = watched_close;
    fake.ops.file_size = watched_size;
    fake.ops.read_file = watched_read;
    // The buffered path, as on Windows; the zero-copy one has its own test.
    fake.ops.send_file = nullptr;
    set_service_directories(dir.path.u16string());
    std::filesystem::create_directories(music / "Live");
    write_file(music / "Live" / "01 Intro.mp3", thousand);
    write_file(music / "empty.flac", "");
  }
  void TearDown() override { EXPECT_TRUE(g_watch.open.empty()) << "a file was left open"; }

  // GET /api/music/media with the raw query value and an optional Range line.
  std::string get(const std::string& raw_path, const std::string& range = "") {
    use_scripted_peer(fake.ops);
    HttpRequest request;
    request.method = "GET";
    request.target = "/api/music/media?path=" + raw_path;
    request.path = "/api/music/media";
    request.head = "GET " + request.target + " HTTP/1.1\r\nHost: x";
    if (!range.empty()) request.head += "\r\nRange: " + range;
    dispatch_request(kFakeSocket, request);
    return peer().received;
  }
};

TEST_F(Media, WholeFilePartialAndUnsatisfiableAnswers) {
  const std::string path = "Live/01%20Intro.mp3";
  EXPECT_EQ(get(path), media_head("audio/mpeg", 1000) + thousand);
  EXPECT_EQ(get(path, "bytes=0-"), media_head("audio/mpeg", 1000, "0-999/1000") + thousand);
  EXPECT_EQ(get(path, "bytes=0-0"),
            media_head("audio/mpeg", 1, "0-0/1000") + thousand.substr(0, 1));
  EXPECT_EQ(get(path, "bytes=900-5000"),
            media_head("audio/mpeg", 100, "900-999/1000") + thousand.substr(900));
  EXPECT_EQ(get(path, "bytes= 0-99"),
            media_head("audio/mpeg", 99, "901-999/1000") + thousand.substr(901));
  EXPECT_EQ(get(path, "Bytes=0-99"), media_head("audio/mpeg", 1000) + thousand);
  EXPECT_EQ(get(path, "bytes=1000-"), unsatisfiable(1000));
  EXPECT_EQ(get(path, "bytes=5-4"), unsatisfiable(1000));
  EXPECT_EQ(get("Live%5C01+Intro.mp3", "bytes=-100"),
            media_head("audio/mpeg", 100, "900-999/1000") + thousand.substr(900));

  EXPECT_EQ(get("empty.flac"), media_head("audio/flac", 0));
  EXPECT_EQ(get("empty.flac", "bytes=0-"), unsatisfiable(0));
}

TEST_F(Media, RefusedPathsAndMissingFiles) {
  const struct {
    const char* raw;
    const std::string& answer;
  } cases[] = {
      {"", kInvalidPath},
      {"%2Fetc%2Fpasswd", kInvalidPath},
      {"%2e%2e/secret", kInvalidPath},
      {"Live/..%2F..%2Fx", kInvalidPath},
      {"C:%5Cx.mp3", kInvalidPath},
      {"empty.flac:stream", kInvalidPath},
      {"a%0Ab", kInvalidPath},
      {"a%00b", kInvalidPath},
      {"Live", kDocumentNotFound},  // a folder
      {".", kDocumentNotFound},     // the music directory itself
      {"nothing.mp3", kDocumentNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(get(c.raw), c.answer) << c.raw;
  EXPECT_EQ(get(std::string(701, 'a')), kInvalidPath);
  EXPECT_EQ(get(std::string(700, 'a')), kDocumentNotFound);
  EXPECT_EQ(g_watch.reads, 0);
}

TEST_F(Media, SizeFailureIsAPlainTextError) {
  g_watch.size_fails = true;
  EXPECT_EQ(get("Live/01%20Intro.mp3"),
            answer("500 Internal Server Error", "text/plain; charset=utf-8", "size error"));
}

TEST_F(Media, LargeFileMovesThroughOneBoundedBuffer) {
  const std::string big = pattern(1000000);
  write_file(music / "big.wav", big);
  EXPECT_EQ(get("big.wav"), media_head("audio/wav", big.size()) + big);
  EXPECT_EQ(g_watch.largest_read, 65536u);
  EXPECT_EQ(g_watch.reads, 16);  // 15 whole chunks and one of 16960 bytes
  EXPECT_EQ(get("big.wav", "bytes=100000-199999"),
            media_head("audio/wav", 100000, "100000-199999/1000000") + big.substr(100000, 100000));
}

// A failed send ends the transfer: no further reads, the file is closed.
TEST_F(Media, FailedSendStopsTheTransfer) {
  write_file(music / "big.wav", pattern(1000000));
  const std::string head = media_head("audio/wav", 1000000);

  use_scripted_peer(fake.ops);
  HttpRequest request{"GET", "/api/music/media?path=big.wav", "/api/music/media", "GET x", ""};
  peer().failing_send = 1;  // the head, sent with the first chunk, already fails
  dispatch_request(kFakeSocket, request);
  EXPECT_EQ(g_watch.reads, 1);
  EXPECT_EQ(peer().received, "");

  use_scripted_peer(fake.ops);
  g_watch.reads = 0;
  peer().failing_send = 4;  // head and chunk, two chunks, then the peer stops taking bytes
  dispatch_request(kFakeSocket, request);
  EXPECT_EQ(g_watch.reads, 4);
  EXPECT_EQ(peer().received.size(), head.size() + 3 * 65536);
  EXPECT_EQ(peer().send_calls, 4);
  EXPECT_EQ(peer().gathered_sends, 1);
}

FileHandle failing_open(const WideString&, DeleteSharing) { return kNoFile; }
bool failing_full_path(const WideString&, WideString&) { return false; }
bool failing_seek(FileHandle, std::uint64_t) { return false; }
// The file ends after its first chunk, as if cut short while it streams.
long shrunk_read(FileHandle file, char* buffer, std::size_t length) {
  const long got = watched_read(file, buffer, length);
  return g_watch.reads == 1 ? got : 0;
}

// A platform step failing on a file that is there: the answer for it, the
// file closed whatever happened.
TEST_F(Media, PlatformFailuresOnAnExistingFile) {
  const std::string big = pattern(300000);
  write_file(music / "big.wav", big);
  const std::string head = media_head("audio/wav", big.size());
  const struct {
    const char* step;
    void (*inject)(PlatformOps&);
    std::string answer;
  } faults[] = {
      // locked against reading, or access denied
      {"open", [](PlatformOps& ops) { ops.open_for_read = failing_open; }, kDocumentNotFound},
      {"resolve", [](PlatformOps& ops) { ops.full_path = failing_full_path; }, kForbidden},
      {"seek", [](PlatformOps& ops) { ops.seek_file = failing_seek; }, head},
      {"shrink", [](PlatformOps& ops) { ops.read_file = shrunk_read; },
       head + big.substr(0, 65536)},
  };
  const PlatformOps original = fake.ops;
  for (const auto& fault : faults) {
    g_watch = {};
    fault.inject(fake.ops);
    EXPECT_EQ(get("big.wav"), fault.answer) << fault.step;
    fake.ops = original;
    EXPECT_TRUE(g_watch.open.empty()) << fault.step << ": the file was left open";
  }
}

TEST_F(Media, ReadFailureEndsTheBodyEarly) {
  write_file(music / "big.wav", pattern(300000));
  g_watch.failing_read = 3;
  const std::string got = get("big.wav");
  EXPECT_EQ(got, media_head("audio/wav", 300000) + pattern(300000).substr(0, 2 * 65536));
  EXPECT_EQ(g_watch.reads, 3);
}

// Stands in for a zero-copy send: what the platform was asked to send,
// taken from the file itself, and whether it succeeds.
struct ZeroCopy {
  int calls = 0;
  bool file_was_open = false;
  bool fails = false;
} g_zero_copy;

bool fake_send_file(Socket socket, const char* head, std::size_t head_length, FileHandle file,
                    std::uint64_t offset, std::uint64_t length) {
  ++g_zero_copy.calls;
  g_zero_copy.file_was_open = g_watch.open.count(file) != 0;
  if (g_zero_copy.fails) return false;
  std::string body(length, '\0');
  if (!native_platform().seek_file(file, offset) ||
      native_platform().read_file(file, body.data(), length) != static_cast<long>(length)) {
    return false;
  }
  const std::string all = std::string(head, head_length) + body;
  return send_all(socket, all.data(), static_cast<long>(all.size()));
}

// Where the platform sends files itself, whole files and ranges go that way
// with the same head, the service reads nothing through its buffer, and the
// file is closed afterwards whether or not the send succeeded.
TEST_F(Media, ZeroCopySendCarriesTheSameAnswers) {
  const std::string big = pattern(300000);
  write_file(music / "big.wav", big);
  fake.ops.send_file = fake_send_file;
  g_zero_copy = {};
  EXPECT_EQ(get("big.wav"), media_head("audio/wav", big.size()) + big);
  EXPECT_EQ(get("big.wav", "bytes=100000-199999"),
            media_head("audio/wav", 100000, "100000-199999/300000") + big.substr(100000, 100000));
  EXPECT_EQ(get("empty.flac"), media_head("audio/flac", 0));
  EXPECT_EQ(g_zero_copy.calls, 3);
  EXPECT_TRUE(g_zero_copy.file_was_open);
  EXPECT_EQ(g_watch.reads, 0);
  EXPECT_TRUE(g_watch.open.empty());

  // Errors and refusals are no file transfers.
  EXPECT_EQ(get("big.wav", "bytes=300000-"), unsatisfiable(300000));
  EXPECT_EQ(get("nothing.mp3"), kDocumentNotFound);
  EXPECT_EQ(g_zero_copy.calls, 3);

  g_zero_copy.fails = true;
  EXPECT_EQ(get("big.wav"), "");
  EXPECT_EQ(g_zero_copy.calls, 4);
  EXPECT_TRUE(g_watch.open.empty());
}

// What the file system calls the file behind an open handle, as the fake
// seam tells it: a Windows short name opens a file whose real name may be of
// another kind, which Wine's file systems cannot show.
struct RealName {
  int asked = 0;
  bool fails = false;
  WideString path;  // empty: the platform's own answer
} g_real_name;

bool told_opened_path(FileHandle file, const WideString& opened_as, WideString& real) {
  ++g_real_name.asked;
  if (g_real_name.fails) return false;
  if (g_real_name.path.empty()) return native_platform().opened_path(file, opened_as, real);
  real = g_real_name.path;
  return true;
}

TEST_F(Media, KindHoldsForTheFileActuallyOpened) {
  write_file(music / "DIARY~1.APE", "private words");
  write_file(music / "SONG~1.MP3", thousand);
  write_file(music / "TRACK~1.FLA", thousand);
  fake.ops.opened_path = told_opened_path;
  const std::u16string m = music.u16string();
  const struct {
    const char* raw;
    WideString real;  // empty: the platform's own answer
    bool fails;
    std::string answer;
    int opens;
  } cases[] = {
      // The short name is of a listed kind, the file it opens is not.
      {"DIARY~1.APE", m + u"/diary.apex", false, kDocumentNotFound, 1},
      {"DIARY~1.APE", m + u"/diary.ape.txt", false, kDocumentNotFound, 1},
      // A folder of a listed-looking name holding a file of no kind.
      {"DIARY~1.APE", m + u"/Live.mp3/notes", false, kDocumentNotFound, 1},
      {"DIARY~1.APE", m + u"/", false, kDocumentNotFound, 1},
      {"DIARY~1.APE", u"", true, kDocumentNotFound, 1},  // the name cannot be told
      // Short and real name both listed: served, typed by the name asked for.
      {"SONG~1.MP3", m + u"/Song With A Long Name.mp3", false,
       media_head("audio/mpeg", 1000) + thousand, 1},
      {"SONG~1.MP3", m + u"/SONG WITH A LONG NAME.MP3", false,
       media_head("audio/mpeg", 1000) + thousand, 1},
      {"SONG~1.MP3", u"", false, media_head("audio/mpeg", 1000) + thousand, 1},
      // A name asked for that is of no listed kind is not even opened.
      {"TRACK~1.FLA", m + u"/Track.flac", false, kDocumentNotFound, 0},
  };
  for (const auto& c : cases) {
    g_watch = {};
    g_real_name = {0, c.fails, c.real};
    EXPECT_EQ(get(c.raw), c.answer) << c.raw << " as " << utf16_to_utf8(c.real);
    EXPECT_EQ(g_watch.opens, c.opens) << c.raw;
    EXPECT_EQ(g_real_name.asked, c.opens) << c.raw;
    EXPECT_TRUE(g_watch.open.empty()) << c.raw << ": the file was left open";
  }
}

// The platform's own answer, on a path longer than the classic limit, where
// a Windows binding must fall back on the directory entry under Wine.
TEST_F(Media, ListedFileAtALongPathIsOpenedByItsRealName) {
  std::filesystem::path deep = music;
  for (const char c : std::string("abcd")) deep /= std::string(80, c);
  std::filesystem::create_directories(deep);
  write_file(deep / "Song.mp3", thousand);
  write_file(deep / "notes.txt", thousand);
  const FileHandle file = open_listed_file((deep / "Song.mp3").u16string(), DeleteSharing::refused);
  EXPECT_NE(file, kNoFile);
  if (file != kNoFile) platform().close_file(file);
  EXPECT_EQ(open_listed_file((deep / "notes.txt").u16string(), DeleteSharing::refused), kNoFile);
  EXPECT_EQ(g_watch.opens, 1);  // the second never opened
}

// The same decision with Windows separators: only the last component of the
// real path counts.
TEST_F(Media, OpenListedFileJudgesTheLastComponentOfTheRealPath) {
  write_file(music / "DIARY~1.APE", "private words");
  fake.ops.opened_path = told_opened_path;
  fake.ops.path_separators = u"\\/";
  const WideString requested = (music / "DIARY~1.APE").u16string();
  const struct {
    const char16_t* real;
    bool opened;
  } cases[] = {
      {u"\\Users\\me\\Music\\diary.apex", false},
      {u"\\Users\\me\\Music.mp3\\diary", false},
      {u"\\Users\\me\\Music\\Diary.APE", true},
      {u"\\Users\\me\\Music/diary.ape", true},
      {u"diary.ape", true},
  };
  for (const auto& c : cases) {
    g_watch = {};
    g_real_name = {0, false, c.real};
    const FileHandle file = open_listed_file(requested, DeleteSharing::refused);
    EXPECT_EQ(file != kNoFile, c.opened) << utf16_to_utf8(c.real);
    if (file != kNoFile) platform().close_file(file);
    EXPECT_TRUE(g_watch.open.empty()) << utf16_to_utf8(c.real);
  }
}

}  // namespace
