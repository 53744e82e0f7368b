#pragma once
#include "text/strings.h"

// Turns a downloaded release into the running service: checks its digest
// when `expected_digest` is not empty, writes it beside the executable as the
// new executable, stores and starts the swap script, and ends the process.
// Returns only when it failed, after logging why.
void install_update(const Utf8String& package, const Utf8String& expected_digest,
                    const Utf8String& version);

// True when the SHA-256 of `package` is `expected_digest`: the same 64 hex
// digits, ASCII letters compared without case. False when it cannot be
// computed.
bool package_matches_digest(const Utf8String& package, const Utf8String& expected_digest);

// SHA-256 of `data` as 64 lower-case hex digits. On failure `out` is left as
// it was.
bool sha256_hex(const Utf8String& data, Utf8String& out);

// The messages this install writes to the update log.
namespace install_message {
inline constexpr char kDigestFailed[] = "下载文件的 SHA-256 校验失败，放弃本次更新。";
inline constexpr char kWriteFailed[] = "写入新版本失败，继续使用当前版本。";
inline constexpr char kScriptNotStored[] = "创建更新脚本失败，继续使用当前版本。";
inline constexpr char kScriptNotStarted[] = "启动更新脚本失败，继续使用当前版本。";
Utf8String restarting(const Utf8String& version);
}  // namespace install_message
