#pragma once
#include "text/strings.h"

// The self-update, run once per start on a thread of its own: reads the
// release manifest from every source, and when the best of them names a
// newer build that this build may install, downloads and installs it. Every
// step is written to the update log; the argument is ignored. Nothing it
// meets (not even running out of memory) ends more than this thread.
void self_update_thread(void* ignored);

// True when `candidate` is a higher version than `current`. Every run of
// ASCII digits is one component (anything else separates), compared as a
// number, a missing component counting as 0; at most eight are compared.
bool is_newer_version(const Utf8String& candidate, const Utf8String& current);

// The messages of the check.
namespace check_message {
inline constexpr char kChecking[] = "正在检查 GitHub Releases…";
inline constexpr char kNoManifest[] = "检查更新失败：无法获取 manifest.json，继续使用当前版本。";
// "检查更新失败：清单里没有 tessavin-server。" for the exe's entry.
Utf8String no_entry(const Utf8String& entry);
inline constexpr char kNoVersion[] = "检查更新失败：清单缺少版本号。";
inline constexpr char kDownloadFailed[] = "下载新版本失败，继续使用当前版本。";
inline constexpr char kWrongExecutable[] = "下载的文件不是本平台的可执行文件，放弃本次更新。";
inline constexpr char kFailed[] = "检查更新时出错，继续使用当前版本。";
// A build without a release key finds a newer version: it says so, and that
// it will not install what it cannot verify.
Utf8String cannot_verify(const Utf8String& version);
Utf8String up_to_date(const Utf8String& version);
Utf8String no_download_url(const Utf8String& version);
Utf8String downloading(const Utf8String& version);
}  // namespace check_message
