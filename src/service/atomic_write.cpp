#include "service/atomic_write.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "service/platform.h"

namespace {
// On Windows a file cannot be replaced while someone has it open: a reader of
// the same document, or another program such as a virus scanner. Such holds
// are brief, so the move is tried again for about half a second.
constexpr int kMoveAttempts = 20;
constexpr unsigned kMoveRetryMs = 25;

std::mutex g_file_lock;
std::atomic<std::uint32_t> g_temp_counter{0};

WideString decimal16(std::uint32_t value) {
  WideString digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}
}  // namespace

bool write_file_atomic(const WideString& file_path, const Utf8String& bytes) {
  const PlatformOps& os = platform();
  // The thread id and a process-wide counter keep concurrent writers of the
  // same target from sharing a temporary file.
  const std::uint32_t n = ++g_temp_counter;
  const WideString temp =
      file_path + u"." + decimal16(os.current_thread_id()) + u"." + decimal16(n) + u".tmp";

  std::lock_guard<std::mutex> lock(g_file_lock);
  const FileHandle file = os.create_for_write(temp);
  if (file == kNoFile) return false;
  if (!bytes.empty() && !os.write_file(file, bytes.data(), bytes.size())) {
    os.flush_file(file);
    os.close_file(file);
    os.delete_file(temp);
    return false;
  }
  os.flush_file(file);
  os.close_file(file);
  for (int attempt = 1; attempt <= kMoveAttempts; ++attempt) {
    if (os.move_replace(temp, file_path)) return true;
    if (attempt < kMoveAttempts) os.sleep_ms(kMoveRetryMs);
  }
  os.delete_file(temp);
  return false;
}
