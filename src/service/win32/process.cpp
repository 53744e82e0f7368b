// Process, thread and single-instance operations on Windows.
#include <windows.h>

#include <new>

#include "service/binding.h"

namespace {

struct ThreadStart {
  void (*proc)(void*);
  void* arg;
};

DWORD WINAPI thread_main(LPVOID raw) {
  const ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.proc(start.arg);
  return 0;
}

}  // namespace

// The mutex lives in the session-local namespace and is never released: the
// system frees it when the process ends.
InstanceGuard native::acquire_instance_guard() {
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Local\\ZelvoTessavinService");
  if (mutex == nullptr) return InstanceGuard::unavailable;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return InstanceGuard::already_running;
  return InstanceGuard::held;
}

WideString native::executable_path() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return WideString(reinterpret_cast<const char16_t*>(buffer), n);
}

std::uint32_t native::current_thread_id() { return GetCurrentThreadId(); }

bool native::start_thread(void (*proc)(void*), void* arg) {
  // Out of memory is one more reason a thread cannot be made, not a crash.
  auto* start = new (std::nothrow) ThreadStart{proc, arg};
  if (start == nullptr) return false;
  const HANDLE thread = CreateThread(nullptr, 0, thread_main, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  CloseHandle(thread);
  return true;
}

void native::sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

std::uint64_t native::monotonic_ms() { return GetTickCount64(); }
