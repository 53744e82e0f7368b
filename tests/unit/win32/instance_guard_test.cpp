// What the named mutex's creation means for the single-instance guard,
// including the refusal an elevated first instance causes, which Wine
// cannot produce.
#include "service/win32/instance_guard.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(WindowsInstanceGuard, MutexOutcomes) {
  const struct {
    bool created;
    unsigned long error;
    InstanceGuard expected;
  } cases[] = {
      {true, ERROR_SUCCESS, InstanceGuard::held},
      {true, ERROR_ALREADY_EXISTS, InstanceGuard::already_running},
      {false, ERROR_ACCESS_DENIED, InstanceGuard::already_running},
      {false, ERROR_INVALID_HANDLE, InstanceGuard::unavailable},
      {false, ERROR_NOT_ENOUGH_MEMORY, InstanceGuard::unavailable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mutex_outcome(c.created, c.error), c.expected) << c.created << " " << c.error;
  }
}

// The real mutex: the first call in a process holds it, a second call in the
// same process sees it taken.
TEST(WindowsInstanceGuard, SecondAcquireSeesTheFirst) {
  const InstanceGuard first = native_platform().acquire_instance_guard();
  ASSERT_NE(first, InstanceGuard::unavailable);
  EXPECT_EQ(native_platform().acquire_instance_guard(), InstanceGuard::already_running);
}

}  // namespace
