// The file stamp follows symbolic links on POSIX, as the walk does.
#include <gtest/gtest.h>

#include "service/platform.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(FileStamp, FollowsLinks) {
  TempDir dir;
  write_file(dir.path / "target.flac", std::string(1000, 'x'));
  fs::create_symlink(dir.path / "target.flac", dir.path / "link.flac");
  fs::create_directory(dir.path / "folder");
  fs::create_directory_symlink(dir.path / "folder", dir.path / "folder-link.flac");
  fs::create_symlink(dir.path / "nowhere", dir.path / "dangling.flac");
  FileStamp target;
  FileStamp link;
  ASSERT_TRUE(platform().file_stamp(dir.wide("target.flac"), target));
  ASSERT_TRUE(platform().file_stamp(dir.wide("link.flac"), link));
  EXPECT_EQ(link, target);
  EXPECT_EQ(link.size, 1000u);
  EXPECT_FALSE(platform().file_stamp(dir.wide("folder-link.flac"), link));
  EXPECT_FALSE(platform().file_stamp(dir.wide("dangling.flac"), link));
}

}  // namespace
