#include "library/cover.h"

#include <gtest/gtest.h>

#include "answers.h"
#include "fake_platform.h"
#include "http/routes.h"
#include "track_fixtures.h"

namespace {

using namespace expected;

const std::string kPng = read_file(track_fixture("tracks/cover.png"));
const std::string kJpeg = read_file(track_fixture("tracks/cover.jpg"));

TEST(Cover, EmbeddedPicturesOfEachTagKind) {
  MusicFolder folder;
  const struct {
    const char* file;
    const std::string& bytes;
    const char* type;
  } cases[] = {
      {"id3v23-utf16.mp3", kJpeg, "image/jpeg"},  // APIC
      {"tags.flac", kPng, "image/png"},            // FLAC picture block
      {"aac.m4a", kPng, "image/png"},              // covr
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    folder.add(std::string("tracks/") + c.file, c.file);
    CoverImage cover;
    ASSERT_TRUE(find_cover(folder.wide(c.file), cover));
    EXPECT_EQ(cover.bytes, c.bytes);
    EXPECT_STREQ(cover.content_type, c.type);
  }
}

TEST(Cover, TheFolderImageStandsInForAnEmbeddedOne) {
  MusicFolder folder;
  folder.add("tracks/plain.mp3", "Album/a.mp3");
  folder.add("tracks/id3v23-utf16.mp3", "Album/b.mp3");
  CoverImage cover;
  EXPECT_FALSE(find_cover(folder.wide("Album/a.mp3"), cover));
  EXPECT_FALSE(find_cover(folder.wide("Album"), cover));

  // Any case; the picture's own bytes say what it is, not its name.
  folder.add("tracks/cover.png", "Album/FOLDER.Jpg");
  ASSERT_TRUE(find_cover(folder.wide("Album/a.mp3"), cover));
  EXPECT_EQ(cover.bytes, kPng);
  EXPECT_STREQ(cover.content_type, "image/png");
  ASSERT_TRUE(find_cover(folder.wide("Album"), cover));
  EXPECT_EQ(cover.bytes, kPng);
  // An embedded picture still comes first.
  ASSERT_TRUE(find_cover(folder.wide("Album/b.mp3"), cover));
  EXPECT_EQ(cover.bytes, kJpeg);

  // "cover" is preferred to "folder"; a file named like one that is no
  // image is passed over.
  folder.add("tracks/cover.jpg", "Album/cover.jpg");
  ASSERT_TRUE(find_cover(folder.wide("Album"), cover));
  EXPECT_EQ(cover.bytes, kJpeg);
  write_file(folder.music / "Album" / "cover.jpg", "not an image");
  ASSERT_TRUE(find_cover(folder.wide("Album"), cover));
  EXPECT_EQ(cover.bytes, kPng);
  // Other names are not covers.
  std::filesystem::remove(folder.music / "Album" / "FOLDER.Jpg");
  std::filesystem::remove(folder.music / "Album" / "cover.jpg");
  folder.add("tracks/cover.png", "Album/back.png");
  folder.add("tracks/cover.png", "Album/cover.png.txt");
  EXPECT_FALSE(find_cover(folder.wide("Album"), cover));
}

TEST(Cover, NothingForMissingOrOtherFiles) {
  MusicFolder folder;
  folder.add("tracks/cover.png", "cover.png");
  folder.add("lyrics/empty.lrc", "a.lrc");
  CoverImage cover;
  EXPECT_FALSE(find_cover(folder.wide("nothing.mp3"), cover));  // though the folder has one
  EXPECT_FALSE(find_cover(folder.wide("a.lrc"), cover));
  EXPECT_TRUE(find_cover(folder.wide(""), cover));  // the music folder itself
}

TEST(Cover, TypeFromTheBytes) {
  const struct {
    std::string bytes;
    const char* type;
  } cases[] = {
      {"\xFF\xD8\xFF\xE0rest", "image/jpeg"},
      {"\x89PNG\r\n\x1A\nrest", "image/png"},
      {"GIF89a...", "image/gif"},
      {"GIF87a...", "image/gif"},
      {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), "image/webp"},
      {"BM" + std::string(20, '\0'), "image/bmp"},
      {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), nullptr},
      {"\x89PNG", nullptr},
      {"", nullptr},
      {"<svg/>", nullptr},
  };
  for (const auto& c : cases) {
    const char* type = image_type_of(c.bytes);
    EXPECT_EQ(type ? std::string(type) : "none", c.type ? c.type : "none") << c.bytes;
  }
}

TEST(CoverRoute, AnswersTheImageOrNotFound) {
  MusicFolder folder;
  PlatformOverride fake;
  folder.add("tracks/tags.flac", "Live/a.flac");
  folder.add("tracks/plain.flac", "Other/b.flac");
  auto get = [&fake](const std::string& raw) {
    use_scripted_peer(fake.ops);
    HttpRequest request{"GET", "/api/music/cover?path=" + raw, "/api/music/cover", "GET x", ""};
    dispatch_request(kFakeSocket, request);
    return peer().received;
  };
  EXPECT_EQ(get("Live/a.flac"), answer("200 OK", "image/png", kPng));
  EXPECT_EQ(get("Other/b.flac"), kDocumentNotFound);
  EXPECT_EQ(get("Other"), kDocumentNotFound);
  EXPECT_EQ(get("Other/..%2F..%2Fx"), kInvalidPath);
  EXPECT_EQ(get("C:%5Cx.mp3"), kInvalidPath);
}

}  // namespace
