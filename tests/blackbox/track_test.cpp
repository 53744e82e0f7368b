// A track's facts, cover and lyrics, seen from outside: the info, cover and
// lyrics routes over files made by Debian's tools, and TagLib's own
// malformed files, each answered in bounded time with the service staying up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
using namespace expected;
namespace fs = std::filesystem;

fs::path fixtures() {
  const char* dir = std::getenv("TESSAVIN_TRACK_FIXTURES");
  return dir ? fs::path(dir) : fs::path();
}

class Tracks : public RunningService {
 protected:
  fs::path music() const { return install.app / "data" / "music"; }
  void SetUp() override {
    ASSERT_FALSE(fixtures().empty()) << "TESSAVIN_TRACK_FIXTURES names no folder";
    RunningService::SetUp();
  }
  void add(const std::string& fixture, const std::string& name) {
    fs::create_directories((music() / name).parent_path());
    fs::copy_file(fixtures() / fixture, music() / name, fs::copy_options::overwrite_existing);
  }
  std::string get(const std::string& target, milliseconds limit = 20000ms) {
    Client client(port);
    EXPECT_TRUE(client.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const Exchange got = client.read_all(limit);
    EXPECT_TRUE(got.closed) << target << " unanswered within " << limit.count() << " ms";
    return got.received;
  }
};

TEST_F(Tracks, InfoAnswersEachFormat) {
  add("tracks/tags.flac", "Jazz/04 Flac.flac");
  add("tracks/id3v23-utf16.mp3", "中文/02 歌.mp3");
  add("tracks/alac.m4a", "alac.m4a");
  add("tracks/aac.m4a", "aac.M4A");
  add("tracks/tags.wma", "tags.wma");
  add("tracks/tagged.ape", "tagged.ape");
  add("tracks/tags.opus", "tags.opus");
  EXPECT_EQ(get("/api/music/info?path=Jazz/04%20Flac.flac"),
            json("200 OK",
                 R"({"title":"Flac Title","artist":"Flac Artist","album":"Flac Album",)"
                 R"("albumArtist":"Flac Album Artist","track":4,"trackTotal":10,"disc":2,)"
                 R"("discTotal":3,"year":2015,"date":"2015-10-01","genre":"Jazz",)"
                 R"("composer":"Flac Composer","durationMs":500,"bitrate":99,)"
                 R"("sampleRate":44100,"channels":2,"bitsPerSample":16,"codec":"flac",)"
                 R"("lossless":true,"trackGain":-7.03,"trackPeak":0.977000,"albumGain":-6.50,)"
                 R"("albumPeak":0.991000,"hasCover":true,"hasLyrics":true})"));
  EXPECT_EQ(get("/api/music/info?path=%E4%B8%AD%E6%96%87%5C02%20%E6%AD%8C.mp3"),
            json("200 OK",
                 R"({"title":"中文标题","artist":"歌手","album":"专辑","albumArtist":"群星",)"
                 R"("track":2,"trackTotal":9,"disc":1,"discTotal":1,"year":2010,"genre":"Pop",)"
                 R"("composer":"作曲家","durationMs":549,"bitrate":134,"sampleRate":44100,)"
                 R"("channels":2,"codec":"mp3","lossless":false,"hasCover":true,)"
                 R"("hasLyrics":false})"));
  const struct {
    const char* path;
    const char* fragment;
  } codecs[] = {
      {"alac.m4a", R"("codec":"alac","lossless":true)"},
      {"aac.M4A", R"("codec":"aac","lossless":false)"},
      {"tags.wma", R"("codec":"wmav2","lossless":false)"},
      {"tagged.ape", R"("codec":"ape","lossless":true)"},
      {"tags.opus", R"("sampleRate":48000,"channels":2,"codec":"opus","lossless":false)"},
  };
  for (const auto& c : codecs) {
    const std::string answer = get(std::string("/api/music/info?path=") + c.path);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\nContent-Type: application/json", 0), 0u) << answer;
    EXPECT_NE(answer.find(c.fragment), std::string::npos) << answer;
  }
}

TEST_F(Tracks, EachRouteRefusesWhatTheMediaRouteRefuses) {
  add("tracks/plain.mp3", "Live/song.mp3");
  const struct {
    std::string raw;
    const std::string& answer;
  } cases[] = {
      {"", kInvalidPath},
      {"/etc/passwd", kInvalidPath},
      {"..%2Fsecret.mp3", kInvalidPath},
      {"Live/..%2F..%2F..%2Fsecret.mp3", kInvalidPath},
      {"C:%5Csecret.mp3", kInvalidPath},
      {"song.mp3:stream", kInvalidPath},
      {"song%00.mp3", kInvalidPath},
      {std::string(701, 'a'), kInvalidPath},
      {"Live/nothing.mp3", kDocumentNotFound},
      {"Live/song.txt", kDocumentNotFound},
  };
  for (const char* route : {"info", "cover", "lyrics"}) {
    for (const auto& c : cases) {
      EXPECT_EQ(get(std::string("/api/music/") + route + "?path=" + c.raw), c.answer)
          << route << " " << c.raw;
    }
  }
  // A folder has no facts and no lyrics, and here no cover.
  EXPECT_EQ(get("/api/music/info?path=Live"), kDocumentNotFound);
  EXPECT_EQ(get("/api/music/lyrics?path=Live"), kDocumentNotFound);
  EXPECT_EQ(get("/api/music/cover?path=Live"), kDocumentNotFound);
  // The media route still answers as before.
  EXPECT_EQ(get("/api/music/media?path=Live/nothing.mp3"), kDocumentNotFound);
}

TEST_F(Tracks, CoversEmbeddedAndFromTheFolder) {
  const std::string png = read_file(fixtures() / "tracks/cover.png");
  const std::string jpeg = read_file(fixtures() / "tracks/cover.jpg");
  add("tracks/tags.flac", "A/a.flac");
  add("tracks/plain.mp3", "B/b.mp3");
  add("tracks/cover.jpg", "B/Folder.JPG");
  add("tracks/plain.mp3", "C/c.mp3");
  EXPECT_EQ(get("/api/music/cover?path=A/a.flac"), answer("200 OK", "image/png", png));
  EXPECT_EQ(get("/api/music/cover?path=B/b.mp3"), answer("200 OK", "image/jpeg", jpeg));
  EXPECT_EQ(get("/api/music/cover?path=B"), answer("200 OK", "image/jpeg", jpeg));
  EXPECT_EQ(get("/api/music/cover?path=C/c.mp3"), kDocumentNotFound);
  EXPECT_EQ(get("/api/music/cover?path=A"), kDocumentNotFound);
}

TEST_F(Tracks, LyricsInEveryEncodingComeBackAsUtf8) {
  const struct {
    const char* file;
    const char* utf8;
    const char* encoding;
  } cases[] = {
      {"chinese-utf8.lrc", "chinese.utf8", "UTF-8"},
      {"chinese-utf8-bom.lrc", "chinese.utf8", "UTF-8"},
      {"chinese-utf16le-bom.lrc", "chinese.utf8", "UTF-16LE"},
      {"chinese-gbk.lrc", "chinese.utf8", "GB18030"},
      {"traditional-big5.lrc", "traditional.utf8", "BIG5"},
      {"japanese-sjis.lrc", "japanese.utf8", "SHIFT_JIS"},
  };
  for (const auto& c : cases) {
    // As the sidecar of a track, and asked for as itself.
    const std::string stem = std::string(c.file).substr(0, std::string(c.file).size() - 4);
    add("tracks/plain.mp3", stem + ".mp3");
    add(std::string("lyrics/") + c.file, c.file);
    const std::string text = read_file(fixtures() / "lyrics" / c.utf8);
    EXPECT_EQ(get("/api/music/lyrics?path=" + stem + ".mp3"), lyrics_answer(c.encoding, text))
        << c.file;
    EXPECT_EQ(get(std::string("/api/music/lyrics?path=") + c.file), lyrics_answer(c.encoding, text))
        << c.file;
  }
  // Embedded, and none at all.
  add("tracks/id3v23-latin1.mp3", "embedded.mp3");
  EXPECT_EQ(get("/api/music/lyrics?path=embedded.mp3"),
            lyrics_answer("ISO-8859-1", "embedded lyric line"));
  add("tracks/plain.flac", "none.flac");
  EXPECT_EQ(get("/api/music/lyrics?path=none.flac"), kDocumentNotFound);
  add("lyrics/empty.lrc", "empty.lrc");
  EXPECT_EQ(get("/api/music/lyrics?path=empty.lrc"), lyrics_answer("UTF-8", ""));
}

// TagLib's malformed files, and good files cut short, as every audio kind
// the tree lists: each of the three routes answers each of them in bounded
// time, and the service stays up.
TEST_F(Tracks, MalformedFilesGetAnAnswer) {
  const char* kinds[] = {".mp3", ".flac", ".wav", ".m4a", ".aac",
                         ".ogg", ".opus", ".wma", ".ape", ".mp4"};
  std::vector<std::string> names;
  int serial = 0;
  auto add_bytes = [&](const std::string& bytes) {
    for (const char* kind : kinds) {
      const std::string name = "bad" + std::to_string(++serial) + kind;
      write_file(music() / name, bytes);
      names.push_back(name);
    }
  };
  fs::create_directories(music());
  for (const auto& entry : fs::directory_iterator(fixtures() / "bad")) {
    add_bytes(read_file(entry.path()));
  }
  for (const char* good : {"tags.flac", "id3v23-utf16.mp3", "aac.m4a", "tags.wma", "tagged.ape",
                           "tags.ogg"}) {
    const std::string bytes = read_file(fixtures() / "tracks" / good);
    for (const std::size_t cut : {std::size_t{10}, bytes.size() / 3, bytes.size() * 2 / 3}) {
      add_bytes(bytes.substr(0, cut));
    }
  }
  ASSERT_GT(names.size(), 200u);
  auto slowest = milliseconds(0);
  for (const std::string& name : names) {
    for (const char* route : {"info", "cover", "lyrics"}) {
      const auto start = std::chrono::steady_clock::now();
      const std::string answer = get(std::string("/api/music/") + route + "?path=" + name, 10000ms);
      slowest = std::max(slowest, std::chrono::duration_cast<milliseconds>(
                                      std::chrono::steady_clock::now() - start));
      const bool answered = answer.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 ||
                            answer == kDocumentNotFound;
      EXPECT_TRUE(answered) << route << " " << name << ":\n" << answer.substr(0, 300);
    }
  }
  std::printf("%zu malformed files, three routes each; slowest answer %lld ms\n", names.size(),
              static_cast<long long>(slowest.count()));
  expect_ping_answered();
}

}  // namespace
}  // namespace blackbox
