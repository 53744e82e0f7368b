// The platform's file stamp on the real disk: size and modification time of
// regular files; nothing for anything else.
#include <gtest/gtest.h>

#include <chrono>

#include "service/platform.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(FileStamp, SizeAndModificationTimeOfRegularFiles) {
  TempDir dir;
  write_file(dir.path / "a.mp3", "12345");
  // Whole seconds: the C++ library on Windows sets file times to the second.
  const auto then = std::chrono::time_point_cast<std::chrono::seconds>(
      fs::last_write_time(dir.path / "a.mp3") - std::chrono::hours(1));
  fs::last_write_time(dir.path / "a.mp3", then);
  FileStamp first;
  ASSERT_TRUE(platform().file_stamp(dir.wide("a.mp3"), first));
  EXPECT_EQ(first.size, 5u);

  // Same size, another time: a new stamp; the time put back: the old one.
  write_file(dir.path / "a.mp3", "54321");
  fs::last_write_time(dir.path / "a.mp3", then + std::chrono::seconds(3));
  FileStamp second;
  ASSERT_TRUE(platform().file_stamp(dir.wide("a.mp3"), second));
  EXPECT_EQ(second.size, 5u);
  EXPECT_NE(second.modified, first.modified);
  fs::last_write_time(dir.path / "a.mp3", then);
  ASSERT_TRUE(platform().file_stamp(dir.wide("a.mp3"), second));
  EXPECT_EQ(second, first);

  write_file(dir.path / "a.mp3", "longer content");
  ASSERT_TRUE(platform().file_stamp(dir.wide("a.mp3"), second));
  EXPECT_EQ(second.size, 14u);

  FileStamp none;
  fs::create_directory(dir.path / "folder.mp3");
  EXPECT_FALSE(platform().file_stamp(dir.wide("folder.mp3"), none));
  EXPECT_FALSE(platform().file_stamp(dir.wide("missing.mp3"), none));
}

}  // namespace
