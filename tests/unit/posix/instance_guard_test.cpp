// Where the single-instance guard lives, and that another user cannot take it.
#include "service/posix/instance_guard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(PosixInstanceGuard, FallbackIsMadePrivateAndRefusedOtherwise) {
  TempDir temp;
  const uid_t me = getuid();
  const std::string parent = temp.path.string();
  const std::string fallback = parent + "/ZelvoTessavinService." + std::to_string(me);
  EXPECT_EQ(fallback_guard_directory(parent, me), fallback);
  struct stat info;
  ASSERT_EQ(lstat(fallback.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);

  ASSERT_EQ(chmod(fallback.c_str(), 0755), 0);
  EXPECT_EQ(fallback_guard_directory(parent, me), "");
  ASSERT_EQ(chmod(fallback.c_str(), 0700), 0);
  ASSERT_EQ(chown(fallback.c_str(), kOther, static_cast<gid_t>(-1)), 0);
  EXPECT_EQ(fallback_guard_directory(parent, me), "");
  ASSERT_EQ(rmdir(fallback.c_str()), 0);
  const std::string elsewhere = make_directory(temp, "elsewhere", 0700, me);
  ASSERT_EQ(symlink(elsewhere.c_str(), fallback.c_str()), 0);
  EXPECT_EQ(fallback_guard_directory(parent, me), "");
}

// Another process (or another user's) holding a lock file somewhere.
struct Holder {
  int fd = -1;
  explicit Holder(const std::string& file) {
    fd = open(file.c_str(), O_RDWR | O_CREAT, 0600);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << file;
  }
  ~Holder() { close(fd); }
};

TEST(PosixInstanceGuard, LocksInTheFallbackAndAPrivateRuntimeDirectory) {
  TempDir temp;
  const uid_t me = getuid();
  const std::string parent = make_directory(temp, "tmp", 0755, me);
  const std::string runtime = make_directory(temp, "runtime", 0700, me);
  const std::string theirs = make_directory(temp, "theirs", 0700, kOther);
  const std::string fallback = parent + "/ZelvoTessavinService." + std::to_string(me);
  const std::string lock = "/ZelvoTessavinService.7.lock";

  // Held elsewhere in either place: another instance of this user runs.
  {
    const Holder other(runtime + lock);
    EXPECT_EQ(take_instance_guard(runtime, parent, me, "7"), InstanceGuard::already_running);
  }
  {
    const Holder other(fallback + lock);
    EXPECT_EQ(take_instance_guard(runtime, parent, me, "7"), InstanceGuard::already_running);
    EXPECT_EQ(take_instance_guard("", parent, me, "7"), InstanceGuard::already_running);
    // Another login session has a guard of its own.
    EXPECT_EQ(take_instance_guard(runtime, parent, me, "8"), InstanceGuard::held);
  }
  // Another user's runtime directory, lock held, is not looked at.
  {
    const Holder foreign(theirs + lock);
    EXPECT_EQ(take_instance_guard(theirs, parent, me, "9"), InstanceGuard::held);
  }
  // The fallback squatted by another user: the runtime directory still guards.
  ASSERT_EQ(chown(fallback.c_str(), kOther, static_cast<gid_t>(-1)), 0);
  {
    const Holder foreign(fallback + "/ZelvoTessavinService.10.lock");
    EXPECT_EQ(take_instance_guard(runtime, parent, me, "10"), InstanceGuard::held);
    EXPECT_EQ(take_instance_guard(runtime, parent, me, "10"), InstanceGuard::already_running);
    EXPECT_EQ(take_instance_guard("", parent, me, "11"), InstanceGuard::unavailable);
  }
  // A runtime directory that is the fallback itself is locked once, not twice.
  ASSERT_EQ(chown(fallback.c_str(), me, static_cast<gid_t>(-1)), 0);
  EXPECT_EQ(take_instance_guard(fallback, parent, me, "12"), InstanceGuard::held);
  EXPECT_EQ(take_instance_guard(fallback + "/.", parent, me, "13"), InstanceGuard::held);
}

}  // namespace
