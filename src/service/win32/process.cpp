// Process and thread operations on Windows.
#include <windows.h>

#include <new>
#include <vector>

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

// The path may be longer than MAX_PATH (a long base directory): the buffer
// grows until the whole path fits, as a truncated one would name another
// directory.
WideString native::executable_path() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return WideString(reinterpret_cast<const char16_t*>(buffer.data()), n);
    // Longer than any path the system accepts: give up rather than loop.
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
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
