#pragma once
#include "text/strings.h"

// The self-update, run once per start on a thread of its own: reads the
// release manifest, and when it names a newer build, downloads and installs
// it. Every step is written to the update log; the argument is ignored.
void self_update_thread(void* ignored);

// True when `candidate` is a higher version than `current`. Every run of
// ASCII digits is one component (anything else separates), compared as a
// number, a missing component counting as 0; at most eight are compared.
bool is_newer_version(const Utf8String& candidate, const Utf8String& current);

// The messages of the check.
namespace check_message {
inline constexpr char kChecking[] = "正在检查 GitHub Releases…";
inline constexpr char kNoManifest[] = "检查更新失败：无法获取 manifest.json，继续使用当前版本。";
inline constexpr char kNoEntry[] = "检查更新失败：清单里没有 tessavin-server。";
inline constexpr char kNoVersion[] = "检查更新失败：清单缺少版本号。";
inline constexpr char kDownloadFailed[] = "下载新版本失败，继续使用当前版本。";
Utf8String up_to_date(const Utf8String& version);
Utf8String no_download_url(const Utf8String& version);
Utf8String downloading(const Utf8String& version);
}  // namespace check_message
