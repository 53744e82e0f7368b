#include "music/media_path.h"

#include <gtest/gtest.h>

#include "service/platform.h"
#include "text/utf.h"

namespace {

TEST(MediaPath, SyntaxChecks) {
  const struct {
    std::string path;
    bool accepted;
  } cases[] = {
      {"Live/01 Intro.mp3", true},
      {"Live\\01 Intro.mp3", true},
      {"\xe6\xad\x8c/\xc3\xa9t\xc3\xa9.flac", true},
      {"a\x7f.mp3", true},
      {".", true},
      {"a.mp3.", true},
      {"CON", true},  // syntax only; resolution and opening deal with devices
      {std::string(700, 'a'), true},
      {std::string(701, 'a'), false},
      {"", false},
      {"/etc/passwd", false},
      {"\\\\server\\share\\x.mp3", false},
      {"\\x.mp3", false},
      {"..", false},
      {"../secret", false},
      {"a/../../b", false},
      {"a..b.mp3", false},
      {"C:\\Windows\\win.ini", false},
      {"C:x.mp3", false},
      {"song.mp3:stream", false},
      {"song.mp3::$DATA", false},
      {"a\tb.mp3", false},
      {"a\nb", false},
      {std::string("a\0b", 3), false},
      {"\x1f", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_acceptable_media_path(c.path), c.accepted) << c.path;
}

TEST(MediaPath, ResolutionStaysInsideTheRoot) {
  // A root of this platform's own form.
  const bool windows = platform().path_separators[0] == u'\\';
  const WideString root = windows ? u"C:\\srv\\data\\music" : u"/srv/data/music";
  const WideString sep{platform().path_separators[0]};
  const struct {
    const char16_t* candidate;
    const char16_t* resolved;  // nullptr: refused
  } cases[] = {
      {u"a.mp3", u"a.mp3"},
      {u"Live/x.mp3", u"Live?x.mp3"},
      {u"Live\\x.mp3", u"Live?x.mp3"},
      {u"Live/./x.mp3", u"Live?x.mp3"},
      {u"Live//x.mp3", u"Live?x.mp3"},
      {u".", u""},
      {u"a/..", u""},
      {u"..", nullptr},
      {u"../music2/a.mp3", nullptr},
      {u"../musi", nullptr},
      {u"../../etc/passwd", nullptr},
      {u"a/../../music/b.mp3", u"b.mp3"},
  };
  for (const auto& c : cases) {
    WideString full;
    const bool accepted = resolve_media_path(root, root + sep + c.candidate, full);
    ASSERT_EQ(accepted, c.resolved != nullptr) << utf16_to_utf8(c.candidate);
    if (!accepted) continue;
    WideString want = c.resolved;
    for (char16_t& unit : want) {
      if (unit == u'?') unit = sep[0];
    }
    EXPECT_EQ(full, want.empty() ? root : root + sep + want) << utf16_to_utf8(c.candidate);
  }
  // A candidate that cannot be resolved is refused.
  WideString full;
  EXPECT_FALSE(resolve_media_path(root, root + sep + WideString(3000, u'a'), full));
}

TEST(MediaPath, ContentTypeByLastExtension) {
  const struct {
    const char16_t* path;
    const char* type;
  } cases[] = {
      {u"m/Song.MP3", "audio/mpeg"},      {u"m/x.flac", "audio/flac"},
      {u"m/x.wav", "audio/wav"},          {u"m/x.m4a", "audio/mp4"},
      {u"m/x.aac", "audio/aac"},          {u"m/x.ogg", "audio/ogg"},
      {u"m/x.opus", "audio/ogg"},         {u"m/x.WMA", "audio/x-ms-wma"},
      {u"m/x.ape", "audio/x-ape"},        {u"m/x.mp4", "video/mp4"},
      {u"m/x.lrc", "text/plain; charset=utf-8"},
      {u"m/x.jpg", "image/jpeg"},         {u"m/x.JPEG", "image/jpeg"},
      {u"m/x.png", "image/png"},          {u"m/x.webp", "image/webp"},
      {u"m/x.gif", "image/gif"},          {u"m/x.bmp", "image/bmp"},
      {u"m/notes.txt", "application/octet-stream"},
      {u"m/Live 2.0/readme", "application/octet-stream"},
      {u"m/README", "application/octet-stream"},
      {u"m/x.mp3.bak", "application/octet-stream"},
      {u"m/x.", "application/octet-stream"},
  };
  for (const auto& c : cases) EXPECT_STREQ(mime_type_for(c.path), c.type) << utf16_to_utf8(c.path);
}

}  // namespace
