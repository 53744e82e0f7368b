#include "library/track_info.h"

#include <gtest/gtest.h>

#include "answers.h"
#include "fake_platform.h"
#include "http/routes.h"
#include "library/replay_gain.h"
#include "track_fixtures.h"

namespace {

using namespace expected;

// The tags, ReplayGain and presence fields, as JSON: the properties that
// depend on an encoder's framing are checked on their own.
std::string tag_json(TrackInfo info) {
  info.duration_ms.reset();
  info.bitrate_kbps.reset();
  info.sample_rate.reset();
  info.channels.reset();
  info.bits_per_sample.reset();
  info.codec.reset();
  info.lossless.reset();
  return track_info_json(info);
}

struct TrackCase {
  const char* file;
  std::string tags;
  const char* codec;  // nullptr: none known
  bool lossless;
  int sample_rate;
  int bits;  // 0: the format has none
  int duration_ms;  // 0: TagLib cannot tell
};

const std::string kNone = "{\"hasCover\":false,\"hasLyrics\":false}";

const TrackCase kTracks[] = {
    {"plain.mp3", kNone, "mp3", false, 44100, 0, 500},
    {"id3v1.mp3",
     R"({"title":"One Title","artist":"One Artist","album":"One Album","track":7,"year":1999,)"
     R"("genre":"Rock","hasCover":false,"hasLyrics":false})",
     "mp3", false, 44100, 0, 500},
    {"id3v23-latin1.mp3",
     R"({"title":"Café Crème","artist":"Björk Band","album":"Latin Album","albumArtist":"Various",)"
     R"("track":3,"trackTotal":12,"disc":1,"discTotal":2,"year":2003,"genre":"Rock",)"
     R"("composer":"Some Composer","trackGain":-6.54,"hasCover":false,"hasLyrics":true})",
     "mp3", false, 44100, 0, 500},
    {"id3v23-utf16.mp3",
     R"({"title":"中文标题","artist":"歌手","album":"专辑","albumArtist":"群星","track":2,)"
     R"("trackTotal":9,"disc":1,"discTotal":1,"year":2010,"genre":"Pop","composer":"作曲家",)"
     R"("hasCover":true,"hasLyrics":false})",
     "mp3", false, 44100, 0, 500},
    {"id3v24.mp3",
     R"({"title":"Четыре","artist":"Артист","track":4,"year":2021,"date":"2021-05-04",)"
     R"("hasCover":false,"hasLyrics":false})",
     "mp3", false, 44100, 0, 500},
    {"plain.flac", kNone, "flac", true, 44100, 16, 500},
    {"tags.flac",
     R"({"title":"Flac Title","artist":"Flac Artist","album":"Flac Album",)"
     R"("albumArtist":"Flac Album Artist","track":4,"trackTotal":10,"disc":2,"discTotal":3,)"
     R"("year":2015,"date":"2015-10-01","genre":"Jazz","composer":"Flac Composer",)"
     R"("trackGain":-7.03,"trackPeak":0.977000,"albumGain":-6.50,"albumPeak":0.991000,)"
     R"("hasCover":true,"hasLyrics":true})",
     "flac", true, 44100, 16, 500},
    {"tags.ogg",
     R"({"title":"Ogg Title","artist":"Ogg Artist","album":"Ogg Album","track":1,)"
     R"("trackTotal":5,"year":2001,"genre":"Ambient","hasCover":false,"hasLyrics":false})",
     "vorbis", false, 44100, 0, 500},
    {"tags.opus",
     R"({"title":"Opus Title","artist":"Opus Artist","trackGain":-5.00,"hasCover":false,)"
     R"("hasLyrics":false})",
     "opus", false, 48000, 0, 500},
    {"aac.m4a",
     R"({"title":"AAC Title","artist":"AAC Artist","album":"AAC Album","track":5,)"
     R"("trackTotal":11,"disc":1,"discTotal":2,"year":2018,"hasCover":true,"hasLyrics":true})",
     "aac", false, 44100, 0, 500},
    {"alac.m4a",
     R"({"title":"ALAC Title","artist":"ALAC Artist","hasCover":false,"hasLyrics":false})",
     "alac", true, 44100, 16, 500},
    {"tags.wma",
     R"({"title":"WMA Title","artist":"WMA Artist","album":"WMA Album","hasCover":false,)"
     R"("hasLyrics":false})",
     "wmav2", false, 44100, 0, 500},
    {"lossless.wma", kNone, "wmalossless", true, 44100, 16, 3549},
    {"plain.ape", kNone, "ape", true, 44100, 16, 3550},
    {"plain.wav", kNone, "pcm", true, 44100, 16, 500},
    // Raw ADTS: TagLib reads no properties from it, the kind still says AAC.
    {"plain.aac", kNone, "aac", false, 0, 0, 0},
};

class Tracks : public ::testing::Test {
 protected:
  MusicFolder folder;
};

TEST_F(Tracks, TagsAndPropertiesOfEachFormat) {
  for (const TrackCase& c : kTracks) {
    SCOPED_TRACE(c.file);
    folder.add(std::string("tracks/") + c.file, c.file);
    TrackInfo info;
    ASSERT_TRUE(read_track_info(folder.wide(c.file), info));
    EXPECT_EQ(tag_json(info), c.tags);
    EXPECT_EQ(info.codec.value_or("none"), c.codec ? c.codec : "none");
    EXPECT_EQ(info.lossless, std::optional<bool>(c.lossless));
    EXPECT_EQ(info.sample_rate.value_or(0), c.sample_rate);
    EXPECT_EQ(info.bits_per_sample.value_or(0), c.bits);
    if (c.sample_rate != 0) {
      EXPECT_EQ(info.channels, 2);
      EXPECT_GT(info.bitrate_kbps.value_or(0), 0);
    }
    // Encoders pad a little: the duration is near the tone's.
    const auto duration = info.duration_ms.value_or(0);
    EXPECT_GE(duration, c.duration_ms);
    EXPECT_LE(duration, c.duration_ms + 60);
  }
}

TEST_F(Tracks, ApeTagsFromTagLibsSample) {
  folder.add("tracks/tagged.ape", "tagged.ape");
  TrackInfo info;
  ASSERT_TRUE(read_track_info(folder.wide("tagged.ape"), info));
  // TagLib's sample fills its APEv2 fields with long runs of 'x'.
  ASSERT_TRUE(info.title.has_value());
  EXPECT_GT(info.title->size(), 100u);
  EXPECT_EQ(info.title->find_first_not_of('x'), std::string::npos);
  EXPECT_EQ(info.codec, "ape");
}

TEST_F(Tracks, SidecarLyricsCountAsLyrics) {
  folder.add("tracks/plain.mp3", "Song.mp3");
  TrackInfo info;
  ASSERT_TRUE(read_track_info(folder.wide("Song.mp3"), info));
  EXPECT_FALSE(info.has_lyrics);
  folder.add("lyrics/chinese-gbk.lrc", "Song.lrc");
  ASSERT_TRUE(read_track_info(folder.wide("Song.mp3"), info));
  EXPECT_TRUE(info.has_lyrics);
}

TEST_F(Tracks, MissingAndUnlistedFilesAreNotRead) {
  folder.add("tracks/plain.mp3", "x.txt");
  TrackInfo info;
  EXPECT_FALSE(read_track_info(folder.wide("nothing.mp3"), info));
  EXPECT_FALSE(read_track_info(folder.wide("x.txt"), info));
}

TEST(TrackInfoJson, AbsentFieldsAreLeftOut) {
  TrackInfo info;
  EXPECT_EQ(track_info_json(info), R"({"hasCover":false,"hasLyrics":false})");
  info.title = "A \"quoted\"\ntitle";
  info.track = 3;
  info.duration_ms = 215000;
  info.lossless = false;
  info.track_gain_db = std::numeric_limits<double>::quiet_NaN();
  info.album_peak = 1.0;
  info.has_cover = true;
  EXPECT_EQ(track_info_json(info),
            R"({"title":"A \"quoted\"\ntitle","track":3,"durationMs":215000,"lossless":false,)"
            R"("albumPeak":1.000000,"hasCover":true,"hasLyrics":false})");
}

TEST(ReplayGain, TheFormsTagsWrite) {
  const struct {
    const char* text;
    std::optional<double> gain;
  } gains[] = {{"-6.54 dB", -6.54}, {"+1.20 dB", 1.2}, {"-6.54dB", -6.54}, {" -3 DB ", -3.0},
               {"2.5", 2.5},        {"", std::nullopt}, {"loud", std::nullopt},
               {"-6.54 dBx", std::nullopt}, {"1e400", std::nullopt}, {"-250 dB", std::nullopt},
               {"nan", std::nullopt}};
  for (const auto& c : gains) EXPECT_EQ(parse_gain(c.text), c.gain) << c.text;
  EXPECT_EQ(parse_peak("0.977000"), 0.977);
  EXPECT_EQ(parse_peak("-0.5"), std::nullopt);
  EXPECT_EQ(parse_r128_gain("-2560"), -5.0);
  EXPECT_EQ(parse_r128_gain("256"), 6.0);
  EXPECT_EQ(parse_r128_gain("-2560x"), std::nullopt);
  EXPECT_EQ(parse_r128_gain("99999"), std::nullopt);
}

// --- The route, through the fake socket.

std::string get(const std::string& route, const std::string& raw_path, PlatformOps& ops) {
  use_scripted_peer(ops);
  HttpRequest request;
  request.method = "GET";
  request.target = route + "?path=" + raw_path;
  request.path = route;
  request.head = "GET " + request.target + " HTTP/1.1\r\nHost: x";
  dispatch_request(kFakeSocket, request);
  return peer().received;
}

class InfoRoute : public ::testing::Test {
 protected:
  MusicFolder folder;
  PlatformOverride fake;
  std::string info(const std::string& raw_path) { return get("/api/music/info", raw_path, fake.ops); }
};

TEST_F(InfoRoute, AnswersTheTrackAsJson) {
  folder.add("tracks/id3v1.mp3", "Live/01 One.MP3");
  TrackInfo expected_info;
  ASSERT_TRUE(read_track_info(folder.wide("Live/01 One.MP3"), expected_info));
  const std::string body = track_info_json(expected_info);
  EXPECT_EQ(info("Live/01%20One.MP3"), json("200 OK", body));
  EXPECT_EQ(info("Live%5C01+One.MP3"), json("200 OK", body));
  EXPECT_NE(body.find("\"title\":\"One Title\""), std::string::npos);
}

TEST_F(InfoRoute, PathErrorsAreTheMediaRoutes) {
  folder.add("tracks/plain.mp3", "Live/a.mp3");
  folder.add("lyrics/empty.lrc", "Live/a.lrc");
  folder.add("tracks/cover.png", "Live/cover.png");
  const struct {
    const char* raw;
    const std::string& answer;
  } cases[] = {
      {"", kInvalidPath},           {"%2Fetc%2Fpasswd", kInvalidPath},
      {"%2e%2e/secret", kInvalidPath}, {"Live/..%2F..%2Fx.mp3", kInvalidPath},
      {"a%00b.mp3", kInvalidPath},  {"Live", kDocumentNotFound},
      {".", kDocumentNotFound},     {"nothing.mp3", kDocumentNotFound},
      {"Live/a.lrc", kDocumentNotFound}, {"Live/cover.png", kDocumentNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(info(c.raw), c.answer) << c.raw;
}

// Each read of the file failing in turn, once or from then on: every answer
// is either the whole track or "not found", and no file stays open.
int g_reads = 0;
int g_failing_read = 0;
bool g_failing_on = false;
int g_open_files = 0;
long counted_read(FileHandle file, char* buffer, std::size_t length) {
  ++g_reads;
  if (g_reads == g_failing_read || (g_failing_on && g_reads > g_failing_read)) return -1;
  return native_platform().read_file(file, buffer, length);
}
FileHandle counted_open(const WideString& path, DeleteSharing sharing) {
  const FileHandle file = native_platform().open_for_read(path, sharing);
  if (file != kNoFile) ++g_open_files;
  return file;
}
void counted_close(FileHandle file) {
  --g_open_files;
  native_platform().close_file(file);
}

TEST_F(InfoRoute, EachFailingReadGivesTheTrackOrNotFound) {
  folder.add("tracks/tags.flac", "a.flac");
  const std::string whole = info("a.flac");
  ASSERT_NE(whole.find("Flac Title"), std::string::npos);
  fake.ops.read_file = counted_read;
  fake.ops.open_for_read = counted_open;
  fake.ops.close_file = counted_close;
  for (const bool on : {false, true}) {
    g_failing_on = on;
    int failures = 0;
    for (g_failing_read = 1; g_failing_read < 200; ++g_failing_read) {
      g_reads = 0;
      g_open_files = 0;
      const std::string answer = info("a.flac");
      EXPECT_EQ(g_open_files, 0);
      if (g_reads < g_failing_read) {  // the failure would have come after the last read
        EXPECT_EQ(answer, whole);
        break;
      }
      if (answer == kDocumentNotFound) {
        ++failures;
      } else {
        EXPECT_EQ(answer, whole) << "read " << g_failing_read << " failing";
      }
    }
    // One failed read is read again; reads that go on failing are not.
    if (on) {
      EXPECT_GT(failures, 0);
    } else {
      EXPECT_EQ(failures, 0);
    }
  }
}

// The file is rewritten as another version while it is read: the answer is
// one version's or "not found", never a mix.
std::filesystem::path g_rewritten;
std::string g_other_version;
long rewriting_read(FileHandle file, char* buffer, std::size_t length) {
  if (++g_reads == g_failing_read) write_file(g_rewritten, g_other_version);
  return native_platform().read_file(file, buffer, length);
}

TEST_F(InfoRoute, AFileChangedWhileReadGivesOneVersion) {
  g_rewritten = folder.add("tracks/tags.flac", "a.flac");
  const std::string versions[] = {read_file(track_fixture("tracks/tags.flac")),
                                  read_file(track_fixture("tracks/plain.flac"))};
  for (int from = 0; from < 2; ++from) {
    // An editor's rewrite, here the other version cut short so that its
    // size differs too.
    const std::string before = versions[from];
    const std::string after = versions[1 - from].substr(0, 9000);
    fake.ops.read_file = native_platform().read_file;
    write_file(g_rewritten, before);
    const std::string answer_before = info("a.flac");
    write_file(g_rewritten, after);
    const std::string answer_after = info("a.flac");
    ASSERT_NE(answer_before, answer_after);

    fake.ops.read_file = rewriting_read;
    g_other_version = after;
    for (g_failing_read = 1; g_failing_read < 12; ++g_failing_read) {
      write_file(g_rewritten, before);
      g_reads = 0;
      const std::string answer = info("a.flac");
      EXPECT_TRUE(answer == answer_before || answer == answer_after ||
                  answer == kDocumentNotFound)
          << "changed at read " << g_failing_read << ": " << answer;
    }
  }
}

}  // namespace
