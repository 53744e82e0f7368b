#include "library/library_scan.h"

#include <gtest/gtest.h>

#include "fake_music_disk.h"

namespace {

class LibraryScan : public ::testing::Test {
 protected:
  PlatformOverride fake;
  FakeMusicDisk& disk = fake_disk();
  ScanProgress progress;
  LibraryEntries index;
  bool changed = false;

  void SetUp() override { disk.install(fake.ops); }
  void refresh() {
    index = refresh_library(disk.full(""), index, FakeMusicDisk::reader, progress, changed);
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> out;
    for (const LibraryEntry& entry : index) out.push_back(entry.path);
    return out;
  }
  std::string info(const std::string& path) const {
    for (const LibraryEntry& entry : index) {
      if (entry.path == path) return entry.info;
    }
    return "(none)";
  }
};

// Audio files only, in the tree's order: folders first, then files, each by
// UTF-16 code unit.
TEST_F(LibraryScan, ListsAudioFilesInTheTreesOrder) {
  disk.folder("b");
  disk.folder("a");
  disk.folder("a/Z");
  disk.file("a/Z/1.opus");
  disk.file("a/x.MP3");
  disk.file("a/cover.jpg");
  disk.file("a/x.lrc");
  disk.file("Zz.wav");
  disk.file("b/notes.txt");
  disk.file("b/film.mp4");
  disk.file("0.flac");
  disk.file(".mp3");
  refresh();
  EXPECT_EQ(paths(), (std::vector<std::string>{"a/Z/1.opus", "a/x.MP3", "b/film.mp4", ".mp3",
                                               "0.flac", "Zz.wav"}));
  EXPECT_TRUE(changed);
  EXPECT_EQ(info("a/x.MP3"), "{\"title\":\"a/x.MP3\"}");
  EXPECT_EQ(progress.phase.load(), ScanPhase::done);
  EXPECT_EQ(progress.files.load(), 6u);
  EXPECT_EQ(progress.to_read.load(), 6u);
  EXPECT_EQ(progress.read.load(), 6u);
}

TEST_F(LibraryScan, ReadsOnlyNewAndChangedFilesAndDropsGoneOnes) {
  disk.folder("Album");
  disk.file("Album/1.flac", 100, 10);
  disk.file("Album/2.flac", 200, 20);
  disk.file("Album/3.flac", 300, 30);
  refresh();
  EXPECT_EQ(disk.read_count(), 3);

  // Nothing changed: nothing read, nothing to save.
  refresh();
  EXPECT_EQ(disk.read_count(), 3);
  EXPECT_FALSE(changed);
  EXPECT_EQ(progress.files.load(), 3u);
  EXPECT_EQ(progress.to_read.load(), 0u);

  disk.answer("Album/1.flac", "{\"title\":\"new size\"}");
  disk.answer("Album/2.flac", "{\"title\":\"new time\"}");
  disk.file("Album/1.flac", 101, 10);  // same time, new size
  disk.touch("Album/2.flac", 21);      // same size, new time
  disk.remove("Album/3.flac");
  disk.file("Album/4.flac", 400, 40);
  refresh();
  EXPECT_TRUE(changed);
  EXPECT_EQ(paths(), (std::vector<std::string>{"Album/1.flac", "Album/2.flac", "Album/4.flac"}));
  EXPECT_EQ(info("Album/1.flac"), "{\"title\":\"new size\"}");
  EXPECT_EQ(info("Album/2.flac"), "{\"title\":\"new time\"}");
  EXPECT_EQ(disk.reads(), (std::map<std::string, int>{
                              {"Album/1.flac", 2}, {"Album/2.flac", 2}, {"Album/3.flac", 1},
                              {"Album/4.flac", 1}}));
  EXPECT_EQ(progress.to_read.load(), 3u);

  // A file that goes while nothing else changes still counts as a change.
  disk.remove("Album/4.flac");
  refresh();
  EXPECT_TRUE(changed);
  EXPECT_EQ(paths(), (std::vector<std::string>{"Album/1.flac", "Album/2.flac"}));
}

// A link back up the walk is not entered again; a link to a folder elsewhere
// is walked like the folder, as the tree does, and its files listed under
// the link's path.
TEST_F(LibraryScan, LinkCyclesEndTheWalkThere) {
  disk.folder("a", 2);
  disk.file("a/x.mp3");
  disk.link("a/back", "a");
  disk.link("a/top", "");
  disk.folder("b", 3);
  disk.link("b/to-a", "a");
  refresh();
  EXPECT_EQ(paths(), (std::vector<std::string>{"a/x.mp3", "b/to-a/x.mp3"}));
}

TEST_F(LibraryScan, UnreadableFilesAndFoldersNeverStopTheWalk) {
  disk.folder("A");
  disk.file("A/bad.mp3", 5, 5);
  disk.file("A/good.mp3");
  disk.file("A/odd.mp3");
  disk.answer("A/odd.mp3", "not an object");  // never trusted into the answer
  disk.link("A/locked", "missing");           // cannot be listed
  disk.file("A/gone.mp3");
  disk.unstampable("A/gone.mp3");  // listed, but cannot be looked at
  disk.fail_reading("A/bad.mp3");
  disk.fail_reading("A/gone.mp3");
  refresh();
  EXPECT_EQ(paths(), (std::vector<std::string>{"A/bad.mp3", "A/gone.mp3", "A/good.mp3",
                                               "A/odd.mp3"}));
  EXPECT_EQ(info("A/bad.mp3"), "{}");
  EXPECT_EQ(info("A/gone.mp3"), "{}");
  EXPECT_EQ(info("A/odd.mp3"), "{}");
  EXPECT_EQ(info("A/good.mp3"), "{\"title\":\"A/good.mp3\"}");

  // A file that could not be read is not tried again while it stays as it
  // was; one whose stamp cannot be taken is, but the same result again is no
  // change.
  refresh();
  EXPECT_FALSE(changed);
  EXPECT_EQ(disk.reads(), (std::map<std::string, int>{
                              {"A/bad.mp3", 1}, {"A/gone.mp3", 2}, {"A/good.mp3", 1},
                              {"A/odd.mp3", 1}}));
}

TEST_F(LibraryScan, AFileThatChangesWhileReadIsReadAgain) {
  disk.file("moving.ogg", 10, 1);
  disk.file("still.ogg", 10, 1);
  disk.change_while_reading("moving.ogg");
  refresh();
  ASSERT_EQ(index.size(), 2u);
  EXPECT_FALSE(index[0].stamp_valid);
  EXPECT_TRUE(index[1].stamp_valid);
  refresh();
  EXPECT_EQ(disk.reads(), (std::map<std::string, int>{{"moving.ogg", 2}, {"still.ogg", 1}}));
}

TEST_F(LibraryScan, AMissingMusicDirectoryIsAnEmptyLibrary) {
  index = {{"old.mp3", {1, 1}, true, "{}"}};
  index = refresh_library(u"nowhere", index, FakeMusicDisk::reader, progress, changed);
  EXPECT_TRUE(index.empty());
  EXPECT_TRUE(changed);
}

}  // namespace
