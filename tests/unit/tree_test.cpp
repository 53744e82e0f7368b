#include "music/tree.h"

#include <gtest/gtest.h>

#include <map>

#include "answers.h"
#include "fake_platform.h"
#include "service/paths.h"
#include "temp_dir.h"
#include "text/utf.h"

namespace {

// A directory tree in memory: each directory's entries, and an identity per
// directory so that links (two paths, one identity) can be made.
struct FakeDisk {
  std::map<WideString, std::vector<DirectoryEntry>> listings;
  std::map<WideString, std::uint64_t> identities;
};
FakeDisk g_disk;
int g_listings = 0;

bool fake_list(const WideString& directory, std::vector<DirectoryEntry>& entries) {
  ++g_listings;
  const auto found = g_disk.listings.find(directory);
  if (found == g_disk.listings.end()) return false;
  entries = found->second;
  return true;
}

bool fake_identity(const WideString& path, DirectoryIdentity& identity) {
  const auto found = g_disk.identities.find(path);
  if (found == g_disk.identities.end()) return false;
  identity = {1, found->second};
  return true;
}

class Tree : public ::testing::Test {
 protected:
  PlatformOverride fake;
  WideString sep{platform().path_separators[0]};

  void SetUp() override {
    g_disk = {};
    g_listings = 0;
    fake.ops.list_directory = fake_list;
    fake.ops.directory_identity = fake_identity;
  }
  void folder(const WideString& path, std::vector<DirectoryEntry> entries, std::uint64_t id = 0) {
    g_disk.listings[path] = std::move(entries);
    if (id) g_disk.identities[path] = id;
  }
  std::string tree(const WideString& root = u"R") {
    std::string out;
    build_music_tree(root, "", out);
    return out;
  }
};

TEST_F(Tree, ExampleLibrary) {
  folder(u"R", {{u"cover.jpg", false},
                {u"Live", true},
                {u"b.lrc", false},
                {u"Empty", true},
                {u"A.flac", false},
                {u"notes.txt", false}});
  folder(u"R" + sep + u"Empty", {});
  folder(u"R" + sep + u"Live", {{u"notes.txt", false}, {u"01 Intro.MP3", false}});
  EXPECT_EQ(tree(),
            "[{\"name\":\"Empty\",\"path\":\"Empty\",\"type\":\"folder\",\"children\":[]},"
            "{\"name\":\"Live\",\"path\":\"Live\",\"type\":\"folder\",\"children\":[{\"name\":"
            "\"01 Intro.MP3\",\"path\":\"Live/01 Intro.MP3\",\"type\":\"audio\",\"ext\":\"mp3\"}]},"
            "{\"name\":\"A.flac\",\"path\":\"A.flac\",\"type\":\"audio\",\"ext\":\"flac\"},"
            "{\"name\":\"b.lrc\",\"path\":\"b.lrc\",\"type\":\"lyric\",\"ext\":\"lrc\"},"
            "{\"name\":\"cover.jpg\",\"path\":\"cover.jpg\",\"type\":\"image\",\"ext\":\"jpg\"}]");
}

// Folders first, each group by UTF-16 code unit: capitals before small
// letters, "10" before "2", a prefix first, and a character beyond U+FFFF
// (a surrogate pair, D83D...) before U+FF21, although UTF-8 bytes or code
// points would order them the other way.
TEST_F(Tree, OrdersByCodeUnitWithFoldersFirst) {
  folder(u"R", {{u"apple", true},
                {u"\uFF21.mp3", false},
                {u"Zebra", true},
                {u"Track 2.mp3", false},
                {u"abcd", true},
                {u"\U0001F600.mp3", false},
                {u"Track 10.mp3", false},
                {u"abc", true},
                {u"0.mp3", false}});
  for (const char16_t* name : {u"apple", u"Zebra", u"abcd", u"abc"}) folder(u"R" + sep + name, {});
  const std::string out = tree();
  std::vector<std::string> names;
  for (std::size_t at = out.find("\"name\":\""); at != std::string::npos;
       at = out.find("\"name\":\"", at + 1)) {
    const std::size_t start = at + 8;
    names.push_back(out.substr(start, out.find('"', start) - start));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Zebra", "abc", "abcd", "apple", "0.mp3",
                                             "Track 10.mp3", "Track 2.mp3",
                                             "\xf0\x9f\x98\x80.mp3", "\xef\xbc\xa1.mp3"}));
}

TEST_F(Tree, NestedPathsUseForwardSlashesAndNamesAreEscaped) {
  folder(u"R", {{u"Live", true}});
  folder(u"R" + sep + u"Live", {{u"2024", true}});
  folder(u"R" + sep + u"Live" + sep + u"2024", {{u"Set.mp3", false}, {u"a\"b\\c", true}});
  folder(u"R" + sep + u"Live" + sep + u"2024" + sep + u"a\"b\\c", {{u"\u6b4c.ogg", false}});
  EXPECT_EQ(tree(),
            "[{\"name\":\"Live\",\"path\":\"Live\",\"type\":\"folder\",\"children\":["
            "{\"name\":\"2024\",\"path\":\"Live/2024\",\"type\":\"folder\",\"children\":["
            "{\"name\":\"a\\\"b\\\\c\",\"path\":\"Live/2024/a\\\"b\\\\c\",\"type\":\"folder\","
            "\"children\":[{\"name\":\"\xe6\xad\x8c.ogg\",\"path\":\"Live/2024/a\\\"b\\\\c/"
            "\xe6\xad\x8c.ogg\",\"type\":\"audio\",\"ext\":\"ogg\"}]},"
            "{\"name\":\"Set.mp3\",\"path\":\"Live/2024/Set.mp3\",\"type\":\"audio\",\"ext\":"
            "\"mp3\"}]}]}]");
}

// A link back to a folder on the walk path is listed without children; a
// link to a folder elsewhere is walked like the folder itself.
TEST_F(Tree, CyclesEndAndOtherLinksAreWalked) {
  folder(u"R", {{u"a", true}, {u"b", true}}, 1);
  folder(u"R" + sep + u"a", {{u"back", true}, {u"top", true}, {u"x.mp3", false}}, 2);
  folder(u"R" + sep + u"a" + sep + u"back", {{u"back", true}}, 2);
  folder(u"R" + sep + u"a" + sep + u"top", {{u"a", true}}, 1);
  folder(u"R" + sep + u"b", {{u"to-a", true}}, 3);
  folder(u"R" + sep + u"b" + sep + u"to-a", {{u"back", true}, {u"x.mp3", false}}, 2);
  folder(u"R" + sep + u"b" + sep + u"to-a" + sep + u"back", {}, 2);
  EXPECT_EQ(tree(),
            "[{\"name\":\"a\",\"path\":\"a\",\"type\":\"folder\",\"children\":["
            "{\"name\":\"back\",\"path\":\"a/back\",\"type\":\"folder\",\"children\":[]},"
            "{\"name\":\"top\",\"path\":\"a/top\",\"type\":\"folder\",\"children\":[]},"
            "{\"name\":\"x.mp3\",\"path\":\"a/x.mp3\",\"type\":\"audio\",\"ext\":\"mp3\"}]},"
            "{\"name\":\"b\",\"path\":\"b\",\"type\":\"folder\",\"children\":["
            "{\"name\":\"to-a\",\"path\":\"b/to-a\",\"type\":\"folder\",\"children\":["
            "{\"name\":\"back\",\"path\":\"b/to-a/back\",\"type\":\"folder\",\"children\":[]},"
            "{\"name\":\"x.mp3\",\"path\":\"b/to-a/x.mp3\",\"type\":\"audio\",\"ext\":\"mp3\"}]}]}]");
  EXPECT_EQ(g_listings, 4);  // R, a, b, b/to-a: no cycle listed again
}

TEST_F(Tree, UnlistableFolderGivesAnEmptyLevel) {
  folder(u"R", {{u"locked", true}, {u"song.mp3", false}});
  EXPECT_EQ(tree(),
            "[{\"name\":\"locked\",\"path\":\"locked\",\"type\":\"folder\",\"children\":[]},"
            "{\"name\":\"song.mp3\",\"path\":\"song.mp3\",\"type\":\"audio\",\"ext\":\"mp3\"}]");
  EXPECT_EQ(tree(u"missing"), "[]");
}

// On the real disk: the route makes the data and music directories itself.
TEST(TreeRoute, CreatesMissingDirectoriesAndAnswersAnEmptyArray) {
  TempDir dir;
  PlatformOverride fake;
  use_scripted_peer(fake.ops);
  set_service_directories(dir.path.u16string());
  handle_music_tree(kFakeSocket);
  EXPECT_EQ(peer().received, expected::json("200 OK", "[]"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path / "data" / "music"));

  // A file where the music directory belongs: still an empty tree.
  std::filesystem::remove(dir.path / "data" / "music");
  write_file(dir.path / "data" / "music", "");
  use_scripted_peer(fake.ops);
  handle_music_tree(kFakeSocket);
  EXPECT_EQ(peer().received, expected::json("200 OK", "[]"));
}

}  // namespace
