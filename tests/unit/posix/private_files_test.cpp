// What the service writes on POSIX is the user's own, and the temporary file
// of an atomic write never goes through a link planted at its name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fake_platform.h"
#include "service/atomic_write.h"
#include "service/paths.h"
#include "temp_dir.h"

namespace {

mode_t mode_of(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(PrivateFiles, DirectoriesAndWrittenFilesAreTheUsersOnly) {
  TempDir dir;
  const mode_t saved = umask(0);  // the modes must not rely on the caller's mask
  EXPECT_TRUE(ensure_directory(dir.wide("data")));
  EXPECT_TRUE(write_file_atomic(dir.wide("data/doc.json"), "{}"));
  umask(saved);
  EXPECT_EQ(mode_of(dir.path / "data"), 0700u);
  EXPECT_EQ(mode_of(dir.path / "data" / "doc.json"), 0600u);
}

// Plants a link at the temporary name right before the write creates it, as
// another program racing the service would.
enum class Plant { symbolic, hard };
Plant g_plant;
std::filesystem::path g_victim;
FileHandle planting_create(const WideString& path) {
  const std::filesystem::path at(path);
  if (g_plant == Plant::symbolic)
    std::filesystem::create_symlink(g_victim, at);
  else
    std::filesystem::create_hard_link(g_victim, at);
  return native_platform().create_for_write(path);
}

TEST(PrivateFiles, LinkPlantedAtTheTemporaryNameIsNeverWrittenThrough) {
  for (const Plant plant : {Plant::symbolic, Plant::hard}) {
    TempDir dir;
    g_plant = plant;
    g_victim = dir.path / "victim";
    write_file(g_victim, "untouched");
    PlatformOverride fake;
    fake.ops.create_for_write = planting_create;
    EXPECT_TRUE(write_file_atomic(dir.wide("doc.json"), "new bytes"));
    EXPECT_EQ(read_file(g_victim), "untouched");
    EXPECT_EQ(read_file(dir.path / "doc.json"), "new bytes");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path / "doc.json"));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"doc.json", "victim"}));
  }
}

// A dangling link is not followed to create its target either.
TEST(PrivateFiles, CreateNeverMakesALinksTarget) {
  TempDir dir;
  std::filesystem::create_symlink(dir.path / "made", dir.path / "link");
  const FileHandle file = native_platform().create_for_write(dir.wide("link"));
  ASSERT_NE(file, kNoFile);
  native_platform().close_file(file);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "made"));
  EXPECT_FALSE(std::filesystem::is_symlink(dir.path / "link"));
  EXPECT_EQ(mode_of(dir.path / "link"), 0600u);
}

}  // namespace
