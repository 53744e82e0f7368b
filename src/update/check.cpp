#include "update/check.h"

#include <cstdint>

#include "service/version.h"
#include "text/json.h"
#include "update/executable_header.h"
#include "update/fetch.h"
#include "update/install.h"
#include "update/signature.h"
#include "update/update_log.h"
#include "update/update_ops.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The next run of digits from `at` on, skipping whatever precedes it; 0 when
// no digit is left. Wraps silently past the 64-bit range, which versions
// never reach.
std::int64_t next_component(const Utf8String& text, std::size_t& at) {
  while (at < text.size() && !is_digit(text[at])) ++at;
  std::uint64_t value = 0;
  while (at < text.size() && is_digit(text[at])) {
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
    ++at;
  }
  return static_cast<std::int64_t>(value);
}

// What one source's manifest offers this build, best last.
enum class Offer { nothing, no_entry, no_version, release };

struct Release {
  Utf8String version;
  Utf8String url;
  Utf8String digest;
};

// Reads this platform's entry. With a release key only a signed one counts:
// version, digest and a signature that holds for this platform.
Offer read_offer(const UpdateOps& ops, const Utf8String& key, const Utf8String& manifest,
                 Release& release) {
  if (manifest.empty()) return Offer::nothing;
  Utf8String entry;
  if (!json_get_object(manifest, ops.manifest_entry, entry)) {
    return key.empty() ? Offer::no_entry : Offer::nothing;
  }
  if (!json_get_string(entry, "version", release.version)) {
    return key.empty() ? Offer::no_version : Offer::nothing;
  }
  json_get_string(entry, "url", release.url);
  json_get_string(entry, "sha256", release.digest);
  if (key.empty()) return Offer::release;
  Utf8String signature;
  json_get_string(entry, "signature", signature);
  return check_release_signature(key, ops.platform_name, release.version, release.digest,
                                 signature) == SignatureCheck::valid
             ? Offer::release
             : Offer::nothing;
}

// The one step this build takes for a newer release, by how it was built.
enum class Kind { signed_only, unverified, unsigned_test };

Kind build_kind(const UpdateOps& ops, const Utf8String& key) {
  if (!key.empty()) return Kind::signed_only;
  return ops.unsigned_test_updates ? Kind::unsigned_test : Kind::unverified;
}

void check_and_install() {
  const UpdateOps& ops = update_ops();
  if (ops.switched_off()) return;
  update_log(check_message::kChecking);
  const Utf8String key = ops.release_public_key ? ops.release_public_key : "";
  const Kind kind = build_kind(ops, key);

  // Every source is asked, and the highest version offered wins: a source
  // that answers first with an old manifest cannot hold an update back.
  Offer best = Offer::nothing;
  Release release;
  for (const Utf8String& manifest : fetch_manifests()) {
    Release offered;
    const Offer offer = read_offer(ops, key, manifest, offered);
    if (offer < best) continue;
    if (offer == best &&
        (offer != Offer::release || !is_newer_version(offered.version, release.version))) {
      continue;
    }
    best = offer;
    release = offered;
  }
  switch (best) {
    case Offer::nothing:
      return update_log(check_message::kNoManifest);
    case Offer::no_entry:
      return update_log(check_message::no_entry(ops.manifest_entry));
    case Offer::no_version:
      return update_log(check_message::kNoVersion);
    case Offer::release:
      break;
  }
  const Utf8String& version = release.version;
  if (!is_newer_version(version, kServiceVersion)) {
    return update_log(check_message::up_to_date(version));
  }
  if (release.url.empty()) return update_log(check_message::no_download_url(version));
  // Unsigned files are taken only by test builds, and only from loopback.
  if (kind == Kind::unverified || (kind == Kind::unsigned_test && !is_loopback_url(release.url))) {
    return update_log(check_message::cannot_verify(version));
  }

  update_log(check_message::downloading(version));
  bool wrong_header = false;
  const BodyCheck acceptable = [&](const Utf8String& body) {
    if (kind == Kind::signed_only && !package_matches_digest(body, release.digest)) return false;
    if (!has_executable_header(body, ops.executable_kind)) {
      wrong_header = true;
      return false;
    }
    return true;
  };
  Utf8String package;
  switch (fetch_release_file(release.url, package, acceptable)) {
    case MirrorFetch::unreachable:
      return update_log(check_message::kDownloadFailed);
    case MirrorFetch::refused:
      return update_log(wrong_header ? check_message::kWrongExecutable
                                     : install_message::kDigestFailed);
    case MirrorFetch::fetched:
      break;
  }
  install_update(package, release.digest, version);
}

}  // namespace

Utf8String check_message::no_entry(const Utf8String& entry) {
  return "检查更新失败：清单里没有 " + entry + "。";
}

Utf8String check_message::cannot_verify(const Utf8String& version) {
  return "发现新版本 " + version + "，但这个构建无法校验更新，不会自动安装。";
}

Utf8String check_message::up_to_date(const Utf8String& version) {
  return "已是最新版本（" + version + "）。";
}

Utf8String check_message::no_download_url(const Utf8String& version) {
  return "发现新版本 " + version + "，但清单缺少下载地址。";
}

Utf8String check_message::downloading(const Utf8String& version) {
  return "发现新版本 " + version + "，正在下载…";
}

bool is_newer_version(const Utf8String& candidate, const Utf8String& current) {
  std::size_t a = 0;
  std::size_t b = 0;
  for (int compared = 0; compared < 8; ++compared) {
    const std::int64_t x = next_component(candidate, a);
    const std::int64_t y = next_component(current, b);
    if (x != y) return x > y;
    if (a >= candidate.size() && b >= current.size()) return false;
  }
  return false;
}

// With a release key, a manifest counts only when it is signed for this
// platform with that key, and a source only when it then delivers the very
// file whose digest was signed; anything else is treated as if the source
// had not answered, and the next one is asked. Without a key nothing is
// installed, except by test builds made to take unsigned files from
// loopback. Whatever the build, a file that is not an executable for this
// platform is never written.
void self_update_thread(void*) {
  try {
    check_and_install();
  } catch (...) {
    // Out of memory, most likely; the service serves on without an update.
    try {
      update_log(check_message::kFailed);
    } catch (...) {
    }
  }
}
