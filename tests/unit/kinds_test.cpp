#include "music/kinds.h"

#include <gtest/gtest.h>

#include "text/utf.h"

namespace {

TEST(FileKinds, ByExtensionWithOnlyAsciiFolded) {
  const struct {
    const char16_t* name;
    const char* kind;  // nullptr: not listed
    const char* ext;
  } cases[] = {
      {u"Track.MP3", "audio", "mp3"},
      {u"a.flac", "audio", "flac"},
      {u"a.Opus", "audio", "opus"},
      {u"clip.mp4", "audio", "mp4"},
      {u"x.tar.LRC", "lyric", "lrc"},
      {u"Cover.JPEG", "image", "jpeg"},
      {u"b.webp", "image", "webp"},
      {u"Song.Part2.MP3", "audio", "mp3"},
      {u".mp3", "audio", "mp3"},
      {u".hidden.mp3", "audio", "mp3"},
      {u"README", nullptr, ""},
      {u"song.mp3.bak", nullptr, "bak"},
      {u"notes.txt", nullptr, "txt"},
      {u"mp3", nullptr, ""},
      {u"a.\uFF4D\uFF50\uFF13", nullptr, "\xef\xbd\x8d\xef\xbd\x90\xef\xbc\x93"},  // full-width
      {u"\u00c9t\u00c9.MP3", "audio", "mp3"},
  };
  for (const auto& c : cases) {
    const char* kind = file_kind(c.name);
    EXPECT_EQ(kind ? std::string(kind) : "-", c.kind ? std::string(c.kind) : "-")
        << utf16_to_utf8(c.name);
    EXPECT_EQ(extension_text(c.name), c.ext) << utf16_to_utf8(c.name);
  }
  EXPECT_TRUE(has_extension(u".mp3", u".mp3"));
  EXPECT_FALSE(has_extension(u"mp3", u".mp3"));
  EXPECT_EQ(fold_ascii(u"AZaz\u00c0\uFF21["), u"azaz\u00c0\uFF21[");
}

}  // namespace
