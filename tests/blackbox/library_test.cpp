// Documents, the music tree and media streaming, seen from outside.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <random>
#include <thread>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
using namespace expected;
namespace fs = std::filesystem;

std::string request(const std::string& method, const std::string& target,
                    const std::optional<std::string>& body = std::nullopt,
                    const std::string& headers = "") {
  std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
  if (body)
    text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body->size()) +
            "\r\n";
  return text + "\r\n" + body.value_or("");
}

std::string noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// True while any process on the machine (the service, or under Wine its
// server too) has `path` open.
bool open_anywhere(const fs::path& path) {
  std::error_code error;
  for (const auto& process : fs::directory_iterator("/proc", error)) {
    const std::string pid = process.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", error)) {
      std::error_code ignored;
      if (fs::read_symlink(fd.path(), ignored) == path) return true;
    }
  }
  return false;
}

class Library : public RunningService {
 protected:
  fs::path data() const { return install.app / "data"; }
  fs::path music() const { return install.app / "data" / "music"; }
  std::string call(const std::string& method, const std::string& target,
                   const std::optional<std::string>& body = std::nullopt,
                   const std::string& headers = "") {
    const Exchange got = blackbox::exchange(port, request(method, target, body, headers));
    EXPECT_TRUE(got.closed) << method << " " << target;
    return got.received;
  }
};

TEST_F(Library, DocumentsKeepTheirBytes) {
  const std::string bytes = noise(1 << 20, 1);
  EXPECT_EQ(call("PUT", "/api/data/blob", bytes), kOk);
  EXPECT_EQ(read_file(data() / "blob.json"), bytes);
  EXPECT_EQ(call("GET", "/api/data/blob"), json("200 OK", bytes));

  // No body at all, or an empty one, stores null.
  EXPECT_EQ(exchange(port, "POST /api/data/a%2Db HTTP/1.1\r\n\r\n").received, kOk);
  EXPECT_EQ(call("GET", "/api/data/a-b"), json("200 OK", "null"));
  EXPECT_EQ(call("PUT", "/api/data/empty", ""), kOk);
  EXPECT_EQ(read_file(data() / "empty.json"), "null");

  EXPECT_EQ(call("POST", "/api/data/bom", "\xEF\xBB\xBF{}"), kOk);
  EXPECT_EQ(call("GET", "/api/data/bom"), json("200 OK", "{}"));

  EXPECT_EQ(call("GET", "/api/data/never"), kDocumentNotFound);
  EXPECT_EQ(call("DELETE", "/api/data/never"), kOk);
  EXPECT_EQ(call("DELETE", "/api/data/blob"), kOk);
  EXPECT_EQ(call("GET", "/api/data/blob"), kDocumentNotFound);
  EXPECT_EQ(call("PATCH", "/api/data/bom", "{}"), kNotFound);

  for (const std::string& target :
       std::vector<std::string>{"/api/data/a.b", "/api/data/a%20b", "/api/data/a+b",
                                "/api/data/a/b", "/api/data/" + std::string(65, 'x')}) {
    for (const char* method : {"GET", "PUT", "DELETE", "PATCH"}) {
      EXPECT_EQ(call(method, target, "{}"), kInvalidName) << method << " " << target;
    }
  }
  EXPECT_EQ(call("PUT", "/api/data/" + std::string(64, 'x'), "1"), kOk);

  fs::create_directory(data() / "folder.json");
  const std::string list = call("GET", "/api/list");
  for (const char* name : {"\"a-b.json\"", "\"empty.json\"", "\"bom.json\""}) {
    EXPECT_NE(list.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(list.find("blob"), std::string::npos);
  EXPECT_EQ(list.find("folder"), std::string::npos);
}

// Without a data directory (a plain file stands in its place) reads are 404,
// writes 500 and the listing is empty.
TEST_F(Library, MissingDataDirectory) {
  fs::remove_all(data());
  write_file(data(), "not a directory");
  EXPECT_EQ(call("GET", "/api/list"), json("200 OK", "[]"));
  EXPECT_EQ(call("GET", "/api/data/notes"), kDocumentNotFound);
  EXPECT_EQ(call("PUT", "/api/data/notes", "{}"), kWriteFailed);
  EXPECT_EQ(read_file(data()), "not a directory");
}

// Writers replace the document whole while readers read it: every read is
// one complete version, and no temporary file is left behind.
TEST_F(Library, ConcurrentWritersAndReadersNeverSeeAPartialDocument) {
  constexpr std::size_t kSize = 200000;
  std::atomic<int> bad_reads{0};
  std::atomic<int> good_reads{0};
  std::atomic<bool> writing{true};
  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < 12; ++i) {
        const char fill = static_cast<char>('a' + w * 8 + i % 8);
        EXPECT_EQ(call("PUT", "/api/data/shared", std::string(kSize, fill)), kOk);
      }
    });
  }
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (writing) {
        const std::string got = call("GET", "/api/data/shared");
        if (got == kDocumentNotFound) continue;  // before the first write
        const std::string body = got.substr(got.find("\r\n\r\n") + 4);
        if (body.size() == kSize && body.find_first_not_of(body[0]) == std::string::npos) {
          ++good_reads;
        } else {
          ++bad_reads;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  writing = false;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad_reads, 0);
  EXPECT_GT(good_reads, 0);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(data())) {
    names.push_back(entry.path().filename());
  }
  EXPECT_EQ(names, std::vector<std::string>{"shared.json"});
}

TEST_F(Library, TreeOfTheExampleLibraryByteForByte) {
  fs::remove_all(data());
  EXPECT_EQ(call("GET", "/api/music/tree"), json("200 OK", "[]"));
  ASSERT_TRUE(fs::is_directory(music()));

  fs::create_directories(music() / "Empty");
  fs::create_directories(music() / "Live");
  write_file(music() / "Live" / "01 Intro.MP3", "x");
  write_file(music() / "Live" / "notes.txt", "x");
  for (const char* name : {"cover.jpg", "b.lrc", "A.flac"}) write_file(music() / name, "x");
  EXPECT_EQ(
      call("GET", "/api/music/tree"),
      json("200 OK",
           "[{\"name\":\"Empty\",\"path\":\"Empty\",\"type\":\"folder\",\"children\":[]},"
           "{\"name\":\"Live\",\"path\":\"Live\",\"type\":\"folder\",\"children\":[{\"name\":"
           "\"01 Intro.MP3\",\"path\":\"Live/01 Intro.MP3\",\"type\":\"audio\",\"ext\":\"mp3\"}]},"
           "{\"name\":\"A.flac\",\"path\":\"A.flac\",\"type\":\"audio\",\"ext\":\"flac\"},"
           "{\"name\":\"b.lrc\",\"path\":\"b.lrc\",\"type\":\"lyric\",\"ext\":\"lrc\"},"
           "{\"name\":\"cover.jpg\",\"path\":\"cover.jpg\",\"type\":\"image\",\"ext\":\"jpg\"}]"));
}

// Links that lead back up the tree are listed as empty folders, so a library
// with a cycle still answers at once.
TEST_F(Library, TreeWithDirectoryCyclesAnswersWithinASecond) {
  fs::create_directories(music() / "A" / "B");
  write_file(music() / "A" / "B" / "x.mp3", "x");
  write_file(music() / "\xe6\xad\x8c.ogg", "x");
  fs::create_directory_symlink("..", music() / "A" / "B" / "up");
  fs::create_directory_symlink(music(), music() / "A" / "root");
  const auto start = std::chrono::steady_clock::now();
  const std::string got = call("GET", "/api/music/tree");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(got,
            json("200 OK",
                 "[{\"name\":\"A\",\"path\":\"A\",\"type\":\"folder\",\"children\":["
                 "{\"name\":\"B\",\"path\":\"A/B\",\"type\":\"folder\",\"children\":["
                 "{\"name\":\"up\",\"path\":\"A/B/up\",\"type\":\"folder\",\"children\":[]},"
                 "{\"name\":\"x.mp3\",\"path\":\"A/B/x.mp3\",\"type\":\"audio\",\"ext\":\"mp3\"}]},"
                 "{\"name\":\"root\",\"path\":\"A/root\",\"type\":\"folder\",\"children\":[]}]},"
                 "{\"name\":\"\xe6\xad\x8c.ogg\",\"path\":\"\xe6\xad\x8c.ogg\",\"type\":\"audio\","
                 "\"ext\":\"ogg\"}]"));
}

TEST_F(Library, RangesGetTheirExactHeaderBlocks) {
  fs::create_directories(music() / "Live");
  const std::string bytes = noise(1000, 2);
  write_file(music() / "Live" / "01 Intro.mp3", bytes);
  write_file(music() / "empty.ogg", "");
  write_file(music() / "empty.bin", "");
  const std::string target = "/api/music/media?path=Live%2F01%20Intro.mp3";
  const struct {
    const char* range;  // nullptr: no Range header
    std::string answer;
  } cases[] = {
      {nullptr, media_head("audio/mpeg", 1000) + bytes},
      {"bytes=0-", media_head("audio/mpeg", 1000, "0-999/1000") + bytes},
      {"bytes=0-0", media_head("audio/mpeg", 1, "0-0/1000") + bytes.substr(0, 1)},
      {"bytes=500-", media_head("audio/mpeg", 500, "500-999/1000") + bytes.substr(500)},
      {"bytes=900-5000", media_head("audio/mpeg", 100, "900-999/1000") + bytes.substr(900)},
      {"bytes=-100", media_head("audio/mpeg", 100, "900-999/1000") + bytes.substr(900)},
      {"bytes=-5000", media_head("audio/mpeg", 1000, "0-999/1000") + bytes},
      {"bytes=0-99,200-299", media_head("audio/mpeg", 1000, "0-999/1000") + bytes},
      {"bytes= 0-99", media_head("audio/mpeg", 99, "901-999/1000") + bytes.substr(901)},
      {"items=0-99", media_head("audio/mpeg", 1000) + bytes},
      {"bytes=-0", unsatisfiable(1000)},
      {"bytes=1000-", unsatisfiable(1000)},
      {"bytes=5-4", unsatisfiable(1000)},
  };
  for (const auto& c : cases) {
    const std::string headers = c.range ? std::string("Range: ") + c.range + "\r\n" : "";
    EXPECT_EQ(call("GET", target, std::nullopt, headers), c.answer) << (c.range ? c.range : "-");
  }
  EXPECT_EQ(call("GET", "/api/music/media?path=Live%5C01+Intro.mp3", std::nullopt,
                 "Range: bytes=-10\r\n"),
            media_head("audio/mpeg", 10, "990-999/1000") + bytes.substr(990));
  EXPECT_EQ(call("GET", "/api/music/media?path=empty.ogg"), media_head("audio/ogg", 0));
  EXPECT_EQ(call("GET", "/api/music/media?path=empty.ogg", std::nullopt, "Range: bytes=0-\r\n"),
            unsatisfiable(0));
  // A kind the tree does not list is not served at all, with or without a range.
  EXPECT_EQ(call("GET", "/api/music/media?path=empty.bin"), kDocumentNotFound);
  EXPECT_EQ(call("GET", "/api/music/media?path=empty.bin", std::nullopt, "Range: bytes=0-\r\n"),
            kDocumentNotFound);
}

TEST_F(Library, FiftyMegabyteFileStreamsIntact) {
  fs::create_directories(music());
  const std::string bytes = noise(50 << 20, 3);
  write_file(music() / "long.flac", bytes);
  const std::string whole = call("GET", "/api/music/media?path=long.flac");
  const std::string head = media_head("audio/flac", bytes.size());
  ASSERT_EQ(whole.size(), head.size() + bytes.size());
  EXPECT_EQ(whole.substr(0, head.size()), head);
  EXPECT_TRUE(whole.compare(head.size(), std::string::npos, bytes) == 0);

  const std::string middle = call("GET", "/api/music/media?path=long.flac", std::nullopt,
                                  "Range: bytes=20000000-30000000\r\n");
  EXPECT_EQ(middle, media_head("audio/flac", 10000001, "20000000-30000000/52428800") +
                        bytes.substr(20000000, 10000001));
}

// Hostile paths are refused, or served from inside the music directory;
// nothing outside it is ever read.
TEST_F(Library, HostilePathsNeverLeaveTheMusicDirectory) {
  const std::string secret = "TOP-SECRET";
  fs::create_directories(music() / "Live");
  fs::create_directories(data() / "music2");
  write_file(install.app / "secret.mp3", secret);
  write_file(data() / "secret.mp3", secret);
  write_file(data() / "music2" / "secret.mp3", secret);
  write_file(music() / "song.mp3", "inside");
  const std::string inside = media_head("audio/mpeg", 6) + "inside";

  const struct {
    std::string raw;
    std::vector<std::string> answers;  // any of these
  } cases[] = {
      {"..%2Fsecret.mp3", {kInvalidPath}},
      {"%2E%2E/secret.mp3", {kInvalidPath}},
      {"Live/%2e%2e/%2e%2e/secret.mp3", {kInvalidPath}},
      {"Live%5C..%5C..%5Csecret.mp3", {kInvalidPath}},
      {"..%5C..%5Csecret.mp3", {kInvalidPath}},
      {"%2Fetc%2Fpasswd", {kInvalidPath}},
      {"/etc/passwd", {kInvalidPath}},
      {"%5Cetc%5Cpasswd", {kInvalidPath}},
      {"%5C%5C127.0.0.1%5Cc%24%5Csecret.mp3", {kInvalidPath}},
      {"//127.0.0.1/c$/secret.mp3", {kInvalidPath}},
      {"C:%5Csecret.mp3", {kInvalidPath}},
      {"C%3A/secret.mp3", {kInvalidPath}},
      {"Z:secret.mp3", {kInvalidPath}},
      {"song.mp3%3A%3A%24DATA", {kInvalidPath}},
      {"song.mp3:stream", {kInvalidPath}},
      {"song%00.mp3", {kInvalidPath}},
      {"song%0A.mp3", {kInvalidPath}},
      {"song%1F.mp3", {kInvalidPath}},
      {std::string(701, 'a'), {kInvalidPath}},
      {"%252E%252E/secret.mp3", {kDocumentNotFound}},
      {"%C0%AE%C0%AE/secret.mp3", {kDocumentNotFound}},
      {"%E2%80%A5/secret.mp3", {kDocumentNotFound}},
      {"...%2Fsecret.mp3", {kInvalidPath}},
      {".", {kDocumentNotFound}},
      {"Live", {kDocumentNotFound}},
      {"~/secret.mp3", {kDocumentNotFound}},
      {std::string(700, 'a'), {kDocumentNotFound, kForbidden}},
      // Device names: Windows resolves them out of the folder, or opens no
      // disk file; elsewhere they are plain missing names.
      {"CON", {kForbidden, kDocumentNotFound}},
      {"NUL", {kForbidden, kDocumentNotFound}},
      {"nul.mp3", {kForbidden, kDocumentNotFound}},
      {"Live/COM1", {kForbidden, kDocumentNotFound}},
      {"LPT1.txt", {kForbidden, kDocumentNotFound}},
      {"CONIN%24", {kForbidden, kDocumentNotFound}},
      // Trailing dots and spaces: Windows drops them, so the same file.
      {"song.mp3.", {inside, kDocumentNotFound}},
      {"song.mp3%20", {inside, kDocumentNotFound}},
      {"song.mp3", {inside}},
  };
  for (const auto& c : cases) {
    const std::string got = call("GET", "/api/music/media?path=" + c.raw);
    EXPECT_NE(std::find(c.answers.begin(), c.answers.end(), got), c.answers.end())
        << c.raw << " answered:\n"
        << got;
    EXPECT_EQ(got.find(secret), std::string::npos) << c.raw;
  }
  expect_ping_answered();
}

// A file link is served by the kind of the file it leads to, not only by its
// own name: a link named like a song may not expose a file of another kind.
TEST_F(Library, FileLinksAreServedByTheKindOfTheirTarget) {
  const std::string secret = "TOP-SECRET";
  fs::create_directories(music() / "store");
  write_file(data() / "diary", secret);
  write_file(data() / "diary.apex", secret);
  write_file(music() / "store" / "track.flac", "inside");
  fs::create_symlink(data() / "diary", music() / "diary.mp3");
  fs::create_symlink("../diary.apex", music() / "DIARY~1.APE");
  fs::create_symlink("store/track.flac", music() / "song.mp3");
  EXPECT_EQ(call("GET", "/api/music/media?path=diary.mp3"), kDocumentNotFound);
  EXPECT_EQ(call("GET", "/api/music/media?path=DIARY~1.APE"), kDocumentNotFound);
  // Typed by the name asked for, as the tree lists it.
  EXPECT_EQ(call("GET", "/api/music/media?path=song.mp3"), media_head("audio/mpeg", 6) + "inside");
  expect_ping_answered();
}

// A client that stops reading is dropped once a send times out: the file is
// closed then, not hours later after one time-out per remaining chunk, nor
// after one time-out per piece that a zero-copy send moves.
TEST_F(Library, StalledClientDoesNotHoldTheFileOpen) {
  fs::create_directories(music());
  const fs::path file = music() / "long.wav";
  write_file(file, noise(50 << 20, 4));
  Client client(port);
  const int small = 4096;
  setsockopt(client.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.send(request("GET", "/api/music/media?path=long.wav")));
  ASSERT_TRUE(client.anything_within(10s));

  bool was_open = false;
  bool released = false;
  // The send time-out is 15 s; the margin covers filling the buffers on the
  // way and a busy machine.
  const auto deadline = asked + 25s;
  while (std::chrono::steady_clock::now() < deadline) {
    const bool open = open_anywhere(fs::canonical(file));
    was_open = was_open || open;
    if (was_open && !open) {
      released = true;
      break;
    }
    std::this_thread::sleep_for(250ms);
  }
  EXPECT_TRUE(was_open);
  EXPECT_TRUE(released) << "the file stayed open behind a client that stopped reading";
  expect_ping_answered();
}

}  // namespace
}  // namespace blackbox
