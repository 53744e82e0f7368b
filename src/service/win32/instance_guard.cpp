// The single-instance guard on Windows: a named mutex in the session.
#include "service/win32/instance_guard.h"

#include <windows.h>

#include "service/binding.h"

// An instance started elevated creates the mutex with a security descriptor
// that a normal start of the same user may not open: that start is refused
// with access denied, and the holder is just as much "already running".
InstanceGuard mutex_outcome(bool created, unsigned long error) {
  if (!created) {
    return error == ERROR_ACCESS_DENIED ? InstanceGuard::already_running
                                        : InstanceGuard::unavailable;
  }
  return error == ERROR_ALREADY_EXISTS ? InstanceGuard::already_running : InstanceGuard::held;
}

// The mutex lives in the session-local namespace and is never released: the
// system frees it when the process ends.
InstanceGuard native::acquire_instance_guard() {
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Local\\ZelvoTessavinService");
  return mutex_outcome(mutex != nullptr, GetLastError());
}
