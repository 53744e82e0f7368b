#include "library/lyrics.h"

#include <gtest/gtest.h>

#include <set>

#include "answers.h"
#include "fake_platform.h"
#include "http/routes.h"
#include "library/text_encoding.h"
#include "track_fixtures.h"

namespace {

using namespace expected;

struct LyricsCase {
  const char* file;
  const char* utf8;  // the same text as UTF-8
  std::set<std::string> encodings;  // what the detection may call it
};

const LyricsCase kLyrics[] = {
    {"chinese-utf8.lrc", "chinese.utf8", {"UTF-8"}},
    {"chinese-utf8-bom.lrc", "chinese.utf8", {"UTF-8"}},
    {"chinese-utf16le-bom.lrc", "chinese.utf8", {"UTF-16LE"}},
    {"chinese-gbk.lrc", "chinese.utf8", {"GB18030"}},
    {"traditional-big5.lrc", "traditional.utf8", {"BIG5"}},
    {"japanese-sjis.lrc", "japanese.utf8", {"SHIFT_JIS"}},
    // Where the text has no byte of 0x80 to 0x9F, the three pages agree.
    {"latin1.lrc", "latin.utf8", {"ISO-8859-1", "ISO-8859-15", "WINDOWS-1252"}},
    {"empty.lrc", nullptr, {"UTF-8"}},
};

std::string expected_text(const LyricsCase& c) {
  return c.utf8 ? read_file(track_fixture(std::string("lyrics/") + c.utf8)) : "";
}

TEST(Lyrics, EachEncodingComesBackAsTheSameUtf8) {
  MusicFolder folder;
  for (const LyricsCase& c : kLyrics) {
    SCOPED_TRACE(c.file);
    folder.add(std::string("lyrics/") + c.file, c.file);
    Lyrics lyrics;
    ASSERT_TRUE(read_lyrics(folder.wide(c.file), lyrics));
    EXPECT_EQ(lyrics.text, expected_text(c));
    EXPECT_EQ(c.encodings.count(lyrics.encoding), 1u) << lyrics.encoding;
  }
}

TEST(Lyrics, TheSidecarComesBeforeEmbeddedLyrics) {
  MusicFolder folder;
  // The MP3 carries a USLT frame of its own.
  folder.add("tracks/id3v23-latin1.mp3", "Album/Song.mp3");
  Lyrics lyrics;
  ASSERT_TRUE(read_lyrics(folder.wide("Album/Song.mp3"), lyrics));
  EXPECT_EQ(lyrics.text, "embedded lyric line");
  EXPECT_EQ(lyrics.encoding, "ISO-8859-1");

  folder.add("lyrics/chinese-gbk.lrc", "Album/Song.lrc");
  ASSERT_TRUE(read_lyrics(folder.wide("Album/Song.mp3"), lyrics));
  EXPECT_EQ(lyrics.text, read_file(track_fixture("lyrics/chinese.utf8")));
  EXPECT_EQ(lyrics.encoding, "GB18030");
}

TEST(Lyrics, EmbeddedInEachTagKind) {
  MusicFolder folder;
  const struct {
    const char* file;
    const char* text;
  } cases[] = {{"tags.flac", "flac lyric line"}, {"aac.m4a", "mp4 lyric line"}};
  for (const auto& c : cases) {
    folder.add(std::string("tracks/") + c.file, c.file);
    Lyrics lyrics;
    ASSERT_TRUE(read_lyrics(folder.wide(c.file), lyrics)) << c.file;
    EXPECT_EQ(lyrics.text, c.text);
    EXPECT_EQ(lyrics.encoding, "UTF-8");
  }
}

TEST(Lyrics, NoneForTracksWithoutAndForOtherFiles) {
  MusicFolder folder;
  folder.add("tracks/plain.mp3", "a.mp3");
  folder.add("tracks/cover.png", "cover.png");
  folder.add("lyrics/chinese-utf8.lrc", "orphan.lrc");  // its track is missing
  Lyrics lyrics;
  EXPECT_FALSE(read_lyrics(folder.wide("a.mp3"), lyrics));
  EXPECT_FALSE(read_lyrics(folder.wide("cover.png"), lyrics));
  EXPECT_FALSE(read_lyrics(folder.wide("orphan.mp3"), lyrics));
  EXPECT_FALSE(read_lyrics(folder.wide("nothing.lrc"), lyrics));
}

TEST(TextEncoding, MarksAndBrokenSequences) {
  const struct {
    std::string bytes;
    std::string text;
    const char* encoding;
  } cases[] = {
      {"plain ascii", "plain ascii", "UTF-8"},
      {"\xEF\xBB\xBF" "a\xFF" "b", "a\xEF\xBF\xBD" "b", "UTF-8"},  // marked, one bad byte
      {std::string("\xFE\xFF\x00h\x00i", 6), "hi", "UTF-16BE"},
      {std::string("\xFF\xFE" "h\x00i", 5), "h\xEF\xBF\xBD", "UTF-16LE"},  // odd length
      {std::string("\xFF\xFE\x00\xD8", 4), "\xEF\xBF\xBD", "UTF-16LE"},  // lone surrogate
  };
  for (const auto& c : cases) {
    const DecodedText decoded = decode_text(c.bytes);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.encoding, c.encoding);
  }
  // Whatever the bytes, the text that comes out is UTF-8.
  std::string noise;
  for (int i = 0; i < 2000; ++i) noise += static_cast<char>((i * 7919) % 251);
  EXPECT_TRUE(is_valid_utf8(decode_text(noise).text));
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));  // overlong
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));  // a surrogate
}

TEST(LyricsRoute, AnswersUtf8AndNamesTheEncoding) {
  MusicFolder folder;
  PlatformOverride fake;
  folder.add("tracks/plain.mp3", "Live/Song.mp3");
  folder.add("lyrics/japanese-sjis.lrc", "Live/Song.lrc");
  folder.add("tracks/plain.flac", "Live/Quiet.flac");
  auto get = [&fake](const std::string& raw) {
    use_scripted_peer(fake.ops);
    HttpRequest request{"GET", "/api/music/lyrics?path=" + raw, "/api/music/lyrics", "GET x", ""};
    dispatch_request(kFakeSocket, request);
    return peer().received;
  };
  const std::string japanese = read_file(track_fixture("lyrics/japanese.utf8"));
  EXPECT_EQ(get("Live/Song.mp3"), lyrics_answer("SHIFT_JIS", japanese));
  EXPECT_EQ(get("Live/Song.lrc"), lyrics_answer("SHIFT_JIS", japanese));
  EXPECT_EQ(get("Live/Quiet.flac"), kDocumentNotFound);
  EXPECT_EQ(get("Live"), kDocumentNotFound);
  EXPECT_EQ(get("%2e%2e/Song.lrc"), kInvalidPath);
  EXPECT_EQ(get(""), kInvalidPath);
}

}  // namespace
