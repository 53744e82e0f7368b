#include "update/install.h"

#include "service/atomic_write.h"
#include "service/paths.h"
#include "service/platform.h"
#include "update/update_log.h"
#include "update/update_ops.h"

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Same length and the same digits, ASCII letters compared without case.
bool digest_matches(const Utf8String& actual, const Utf8String& expected) {
  if (actual.size() != expected.size()) return false;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (fold(actual[i]) != fold(expected[i])) return false;
  }
  return true;
}

// Writes the package in place; a partly written file is removed.
bool write_new_executable(const WideString& path, const Utf8String& package) {
  const PlatformOps& os = platform();
  const FileHandle file = os.create_for_write(path);
  if (file == kNoFile) return false;
  const bool written = os.write_file(file, package.data(), package.size());
  os.flush_file(file);
  os.close_file(file);
  if (!written) os.delete_file(path);
  return written;
}

}  // namespace

Utf8String install_message::restarting(const Utf8String& version) {
  return "新版本 " + version + " 已下载，正在重启…";
}

bool sha256_hex(const Utf8String& data, Utf8String& out) {
  unsigned char digest[kSha256Size];
  if (!update_ops().sha256(data, digest)) return false;
  static constexpr char kHex[] = "0123456789abcdef";
  out.clear();
  out.reserve(2 * kSha256Size);
  for (const unsigned char byte : digest) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
  return true;
}

bool package_matches_digest(const Utf8String& package, const Utf8String& expected_digest) {
  Utf8String actual;
  return sha256_hex(package, actual) && digest_matches(actual, expected_digest);
}

void install_update(const Utf8String& package, const Utf8String& expected_digest,
                    const Utf8String& version) {
  const UpdateOps& ops = update_ops();
  if (!expected_digest.empty() && !package_matches_digest(package, expected_digest)) {
    update_log(install_message::kDigestFailed);
    return;
  }
  if (!write_new_executable(join_path(base_directory(), ops.new_executable_name), package)) {
    update_log(install_message::kWriteFailed);
    return;
  }
  const WideString script = join_path(base_directory(), ops.swap_script_name);
  if (!write_file_atomic(script, ops.swap_script_text)) {
    update_log(install_message::kScriptNotStored);
    return;
  }
  if (!ops.start_swap_script(script, base_directory())) {
    update_log(install_message::kScriptNotStarted);
    return;
  }
  update_log(install_message::restarting(version));
  // The script waits for this process to end before it swaps the files.
  platform().sleep_ms(150);
  ops.exit_process(0);
}
