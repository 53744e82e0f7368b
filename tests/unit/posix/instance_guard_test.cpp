// Where the single-instance guard lives, and that another user cannot take it.
#include "service/posix/instance_guard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "service/platform.h"
#include "temp_dir.h"

namespace {

constexpr uid_t kOther = 65534;

std::string make_directory(const TempDir& temp, const std::string& name, mode_t mode, uid_t owner) {
  const std::string path = (temp.path / name).string();
  EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(chmod(path.c_str(), mode), 0);
  EXPECT_EQ(chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
  return path;
}

TEST(PosixInstanceGuard, OnlyAPrivateDirectoryOfTheSameUserCounts) {
  TempDir temp;
  const uid_t me = getuid();
  const std::string mine = make_directory(temp, "mine", 0700, me);
  const std::string open = make_directory(temp, "open", 0755, me);
  const std::string theirs = make_directory(temp, "theirs", 0700, kOther);
  const std::string link = (temp.path / "link").string();
  ASSERT_EQ(symlink(mine.c_str(), link.c_str()), 0);

  EXPECT_TRUE(is_private_directory(mine, me));
  EXPECT_FALSE(is_private_directory(open, me));
  EXPECT_FALSE(is_private_directory(theirs, me));
  EXPECT_FALSE(is_private_directory(link, me));
  EXPECT_FALSE(is_private_directory((temp.path / "missing").string(), me));
}

TEST(PosixInstanceGuard, RuntimeDirectoryOrAPrivateFallback) {
  TempDir temp;
  const uid_t me = getuid();
  const std::string runtime = make_directory(temp, "runtime", 0700, me);
  const std::string parent = temp.path.string();
  const std::string fallback = parent + "/ZelvoTessavinService." + std::to_string(me);

  EXPECT_EQ(guard_directory(runtime, parent, me), runtime);
  EXPECT_FALSE(std::filesystem::exists(fallback));

  // Unset, relative, shared or someone else's runtime directory: the fallback,
  // made private on first use.
  const std::string shared = make_directory(temp, "shared", 0777, me);
  const std::string theirs = make_directory(temp, "theirs", 0700, kOther);
  for (const std::string& given : {std::string(), std::string("runtime"), shared, theirs}) {
    EXPECT_EQ(guard_directory(given, parent, me), fallback) << given;
  }
  struct stat info;
  ASSERT_EQ(lstat(fallback.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);

  // A fallback someone else made first, or one opened to others, is refused.
  ASSERT_EQ(chmod(fallback.c_str(), 0755), 0);
  EXPECT_EQ(guard_directory("", parent, me), "");
  ASSERT_EQ(chmod(fallback.c_str(), 0700), 0);
  ASSERT_EQ(chown(fallback.c_str(), kOther, static_cast<gid_t>(-1)), 0);
  EXPECT_EQ(guard_directory("", parent, me), "");
  ASSERT_EQ(rmdir(fallback.c_str()), 0);
  ASSERT_EQ(symlink(runtime.c_str(), fallback.c_str()), 0);
  EXPECT_EQ(guard_directory("", parent, me), "");
}

// The real guard: the first take in a process holds it; a second open of the
// same file, as another start would make, finds it taken.
TEST(PosixInstanceGuard, SecondTakeFindsTheFirst) {
  TempDir temp;
  const std::string runtime = make_directory(temp, "runtime", 0700, getuid());
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string restore = saved ? saved : "";
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  EXPECT_EQ(native_platform().acquire_instance_guard(), InstanceGuard::held);
  EXPECT_EQ(native_platform().acquire_instance_guard(), InstanceGuard::already_running);
  bool has_lock_file = false;
  for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
    has_lock_file = has_lock_file || entry.path().extension() == ".lock";
  }
  EXPECT_TRUE(has_lock_file);
  if (saved)
    setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
