#include "update/check.h"

#include <gtest/gtest.h>

#include "environment.h"
#include "fake_update.h"
#include "release_keys.h"
#include "service/paths.h"
#include "temp_dir.h"
#include "update/install.h"
#include "update/release_location.h"

namespace {

TEST(IsNewerVersion, ComparesNumericComponents) {
  const struct {
    const char* candidate;
    bool newer;
  } cases[] = {
      {"1.5.1", true},       {"1.10.0", true},      {"v1.6.0", true},
      {"1.6", true},         {"2", true},           {"1.5.0.1", true},
      {"1.5.0-rc2", true},   {"1.5.0", false},      {"1.5", false},
      {"01.005.000", false}, {"1.5.0-beta", false}, {"1.4.99", false},
      {"", false},           {"abc", false},        {"1.5.0.0.0.0.0.0.1", false},
      {"１.６", false},  // full-width digits are not ASCII digits
      {"1.5.0.0.0.0.0.1", true},
  };
  for (const auto& c : cases) EXPECT_EQ(is_newer_version(c.candidate, "1.5.0"), c.newer) << c.candidate;
  EXPECT_FALSE(is_newer_version("1.5.0", "1.6.0"));
  EXPECT_TRUE(is_newer_version("1.6.0", "1.5.9.9"));
}

// A release on loopback, where test builds may take unsigned files from.
const Utf8String kRelease = "http://127.0.0.1:8/r/TessavinServer-new";
const Utf8String kExeEntry = "tessavin-server";
const Utf8String kLinuxEntry = "tessavin-server-linux-x86_64";

// The check as the exe runs it (its entry, PE files), in a test build that
// takes unsigned releases from loopback unless a test says otherwise.
class Check : public ::testing::Test {
 protected:
  TempDir dir;
  UpdateOverride update;
  FakeUpdate& fake = fake_update();

  void SetUp() override {
    set_service_directories(dir.path.u16string());
    update.ops.release_public_key = "";
    update.ops.unsigned_test_updates = true;
    as_platform("windows-x86_64", kExeEntry.c_str(), ExecutableKind::pe_x86_64);
  }
  void as_platform(const char* name, const char* entry, ExecutableKind kind) {
    update.ops.platform_name = name;
    update.ops.manifest_entry = entry;
    update.ops.executable_kind = kind;
  }
  void serve_manifest(const Utf8String& manifest) {
    fake.responses[kManifestUrl] = ok_body(manifest);
  }
  std::string log() const { return read_file(dir.path / "TessavinServer-update.txt"); }
  static std::string log_holding(const std::string& message) {
    return "TessavinServer 1.5.0\r\n" + message + "\r\n";
  }
  bool requested(const Utf8String& url) const {
    return std::find(fake.requested.begin(), fake.requested.end(), url) != fake.requested.end();
  }
  Utf8String installed() const {
    return read_file(dir.path / std::filesystem::path(WideString(update.ops.new_executable_name)));
  }
  static Utf8String via(int proxy, const Utf8String& url) { return kProxyPrefixes[proxy] + url; }
  static std::vector<Utf8String> all_four(const Utf8String& url) {
    return {via(0, url), via(1, url), via(2, url), url};
  }
  void reset() {
    fake.responses.clear();
    fake.requested.clear();
    fake.exits.clear();
    std::filesystem::remove_all(dir.path);
    std::filesystem::create_directories(dir.path);
  }
};

TEST_F(Check, EachEndOfTheCheckLeavesItsMessage) {
  const struct {
    const char* manifest;  // nullptr: not fetched
    const char* message;
    bool downloads;
  } cases[] = {
      {nullptr, "检查更新失败：无法获取 manifest.json，继续使用当前版本。", false},
      {R"({"other":{"version":"9"}})", "检查更新失败：清单里没有 tessavin-server。", false},
      {R"({"tessavin-server":"1.6.0"})", "检查更新失败：清单里没有 tessavin-server。", false},
      {R"({"tessavin-server-linux-x86_64":{"version":"9"}})",
       "检查更新失败：清单里没有 tessavin-server。", false},
      {R"({"tessavin-server":{"url":"x"},"version":"9"})", "检查更新失败：清单缺少版本号。", false},
      {R"({"tessavin-server":{"version":"1.5.0"}})", "已是最新版本（1.5.0）。", false},
      {R"({"tessavin-server":{"version":"1.4.0","url":"u"}})", "已是最新版本（1.4.0）。", false},
      {R"({"tessavin-server":{"version":""}})", "已是最新版本（）。", false},
      {R"({"tessavin-server":{"version":"1.6.0","url":""}})",
       "发现新版本 1.6.0，但清单缺少下载地址。", false},
      {R"({"tessavin-server":{"version":"1.6.0"},"url":"http://127.0.0.1:8/r/TessavinServer-new"})",
       "发现新版本 1.6.0，但清单缺少下载地址。", false},
      {R"({"tessavin-server":{"version":"1.6.0","url":"http://127.0.0.1:8/r/TessavinServer-new"}})",
       "下载新版本失败，继续使用当前版本。", true},
  };
  for (const auto& c : cases) {
    reset();
    if (c.manifest) serve_manifest(c.manifest);
    self_update_thread(nullptr);
    EXPECT_EQ(log(), log_holding(c.message)) << c.message;
    EXPECT_EQ(fake.requested.size(), c.downloads ? 8u : 4u) << c.message;
    EXPECT_EQ(requested(kRelease), c.downloads) << c.message;
    EXPECT_TRUE(fake.exits.empty());
  }
}

// The Linux build reads an entry of its own and names it when it is missing.
TEST_F(Check, TheLinuxBuildReadsItsOwnEntry) {
  as_platform("linux-x86_64", kLinuxEntry.c_str(), ExecutableKind::elf_x86_64);
  serve_manifest(R"({"tessavin-server":{"version":"9","url":"http://127.0.0.1:8/x"}})");
  self_update_thread(nullptr);
  EXPECT_EQ(log(), log_holding("检查更新失败：清单里没有 tessavin-server-linux-x86_64。"));
  serve_manifest(
      R"({"tessavin-server":{"version":"9"},"tessavin-server-linux-x86_64":{"version":"1.5"}})");
  self_update_thread(nullptr);
  EXPECT_EQ(log(), log_holding("已是最新版本（1.5）。"));
}

TEST_F(Check, ANewerBuildIsDownloadedVerifiedAndInstalled) {
  serve_manifest(
      R"({"tessavin-server":{"version":"1.6.0","url":"http://127.0.0.1:8/r/TessavinServer-new",)"
      R"("sha256":")" +
      test_keys::kWindowsDigest + R"("}})");
  fake.responses[kRelease] = ok_body(test_keys::kWindowsPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(fake.timeouts.back(), 60000u);
  EXPECT_EQ(installed(), test_keys::kWindowsPackage);
  EXPECT_EQ(fake.exits, std::vector<int>{0});
  EXPECT_EQ(log(), log_holding("新版本 1.6.0 已下载，正在重启…"));
}

TEST_F(Check, AWrongDigestLeavesNothingButTheLog) {
  serve_manifest(
      R"({"tessavin-server":{"version":"2.0","url":"http://127.0.0.1:8/r/TessavinServer-new",)"
      R"("sha256":"0000000000000000000000000000000000000000000000000000000000000000"}})");
  fake.responses[kRelease] = ok_body(test_keys::kWindowsPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(log(), log_holding("下载文件的 SHA-256 校验失败，放弃本次更新。"));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"});
  EXPECT_TRUE(fake.exits.empty());
}

// What each kind of build does with a newer, unsigned manifest served from
// loopback: only the test build made to take unsigned files installs it.
TEST_F(Check, OnlyTheUnsignedTestBuildInstallsAnUnsignedRelease) {
  const struct {
    const char* kind;
    const char* key;
    bool unsigned_test;
    const char* url;
    const char* message;
  } cases[] = {
      {"keyless default build", "", false, "http://127.0.0.1:8/r/TessavinServer-new",
       "发现新版本 9.9.9，但这个构建无法校验更新，不会自动安装。"},
      {"test build, release on loopback", "", true, "http://127.0.0.1:8/r/TessavinServer-new",
       "新版本 9.9.9 已下载，正在重启…"},
      {"test build, release elsewhere", "", true, "https://example.org/r/TessavinServer-new",
       "发现新版本 9.9.9，但这个构建无法校验更新，不会自动安装。"},
      {"keyed build", test_keys::kPublicKeyA.c_str(), false,
       "http://127.0.0.1:8/r/TessavinServer-new",
       "检查更新失败：无法获取 manifest.json，继续使用当前版本。"},
      {"keyed build with the test switch too", test_keys::kPublicKeyA.c_str(), true,
       "http://127.0.0.1:8/r/TessavinServer-new",
       "检查更新失败：无法获取 manifest.json，继续使用当前版本。"},
  };
  for (const auto& c : cases) {
    reset();
    update.ops.release_public_key = c.key;
    update.ops.unsigned_test_updates = c.unsigned_test;
    const Utf8String url = c.url;
    serve_manifest(R"({"tessavin-server":{"version":"9.9.9","url":")" + url + R"("}})");
    fake.responses[url] = ok_body(test_keys::kWindowsPackage);
    self_update_thread(nullptr);
    const bool installs = Utf8String(c.message).find("正在重启") != Utf8String::npos;
    EXPECT_EQ(log(), log_holding(c.message)) << c.kind;
    EXPECT_EQ(requested(url), installs) << c.kind;
    EXPECT_EQ(fake.exits, installs ? std::vector<int>{0} : std::vector<int>{}) << c.kind;
    if (!installs) {
      EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"}) << c.kind;
    }
  }
}

// Whatever the build, a file that is not an executable for this platform is
// passed over as if that source had not answered.
TEST_F(Check, AFileWithTheWrongHeaderIsPassedOverForTheNextSource) {
  serve_manifest(
      R"({"tessavin-server":{"version":"1.6.0","url":"http://127.0.0.1:8/r/TessavinServer-new"}})");
  fake.responses[via(0, kRelease)] = ok_body("#!/bin/sh\necho owned\n");
  fake.responses[via(1, kRelease)] = ok_body(test_keys::kPackage);  // ELF: the other platform
  fake.responses[via(2, kRelease)] = ok_body(test_keys::kWindowsPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(installed(), test_keys::kWindowsPackage);
  EXPECT_FALSE(requested(kRelease));

  reset();
  serve_manifest(
      R"({"tessavin-server":{"version":"1.6.0","url":"http://127.0.0.1:8/r/TessavinServer-new"}})");
  for (const Utf8String& url : all_four(kRelease))
    fake.responses[url] = ok_body(test_keys::kPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(log(), log_holding("下载的文件不是本平台的可执行文件，放弃本次更新。"));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"});
  EXPECT_TRUE(fake.exits.empty());
}

// Every source is asked, and the highest version any of them offers counts.
TEST_F(Check, AnOlderManifestFromTheFirstSourceDoesNotHoldBackANewerOne) {
  fake.responses[via(0, kManifestUrl)] = ok_body(R"({"tessavin-server":{"version":"1.5.0"}})");
  fake.responses[via(1, kManifestUrl)] =
      ok_body(R"({"tessavin-server":{"version":"1.6.0","url":"http://127.0.0.1:8/a"}})");
  fake.responses[via(2, kManifestUrl)] =
      ok_body(R"({"tessavin-server":{"version":"1.7.0","url":"http://127.0.0.1:8/b"}})");
  serve_manifest(R"({"tessavin-server":{"version":"1.6.5","url":"http://127.0.0.1:8/c"}})");
  fake.responses["http://127.0.0.1:8/b"] = ok_body(test_keys::kWindowsPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(log(), log_holding("新版本 1.7.0 已下载，正在重启…"));
  EXPECT_TRUE(requested(via(0, "http://127.0.0.1:8/b")));
  EXPECT_FALSE(requested(via(0, "http://127.0.0.1:8/a")));
}

HttpOutcome throwing_get(const WideString&, std::uint32_t, const HttpResponseSink&) {
  throw std::bad_alloc();
}

// Running out of memory on the update thread ends the check, not the service.
TEST_F(Check, AnExceptionEndsOnlyTheCheck) {
  update.ops.http_get_once = throwing_get;
  self_update_thread(nullptr);
  EXPECT_EQ(log(), log_holding("检查更新时出错，继续使用当前版本。"));
  EXPECT_TRUE(fake.exits.empty());
}

TEST_F(Check, SwitchedOffMeansNoRequestAndNoLog) {
  fake.off = true;
  serve_manifest(R"({"tessavin-server":{"version":"9"}})");
  self_update_thread(nullptr);
  EXPECT_TRUE(fake.requested.empty());
  EXPECT_TRUE(dir.names().empty());
}

// The platform's own lookup: only the variable's presence counts.
TEST_F(Check, TheSwitchOffVariableCountsWhateverItsValue) {
  update.ops.switched_off = native_update_ops().switched_off;
  serve_manifest(R"({"tessavin-server":{"version":"9"}})");
  for (const char* value : {"", "0", "false", "1"}) {
    set_environment("ZELVO_NO_SELF_UPDATE", value);
    self_update_thread(nullptr);
    EXPECT_TRUE(fake.requested.empty()) << '"' << value << '"';
    EXPECT_TRUE(dir.names().empty()) << '"' << value << '"';
  }
  set_environment("ZELVO_NO_SELF_UPDATE", nullptr);
  self_update_thread(nullptr);
  EXPECT_EQ(fake.requested.size(), 4u);
  EXPECT_EQ(log(), log_holding("发现新版本 9，但清单缺少下载地址。"));
}

// A keyed Linux build: every source is judged, and one that gives a manifest
// not signed for this platform with that key, or a file other than the
// signed one, counts as not having answered.
class SignedCheck : public Check {
 protected:
  void SetUp() override {
    Check::SetUp();
    update.ops.release_public_key = test_keys::kPublicKeyA.c_str();
    update.ops.unsigned_test_updates = false;
    as_platform("linux-x86_64", kLinuxEntry.c_str(), ExecutableKind::elf_x86_64);
  }
  static Utf8String entry(const Utf8String& signature, const Utf8String& version = "1.6.0",
                          const Utf8String& digest = test_keys::kDigest,
                          const Utf8String& url = kRelease) {
    Utf8String entry = R"({"version":")" + version + R"(","url":")" + url + '"';
    if (!digest.empty()) entry += R"(,"sha256":")" + digest + '"';
    if (!signature.empty()) entry += R"(,"signature":")" + signature + '"';
    return entry + "}";
  }
  static Utf8String manifest(const Utf8String& signature, const Utf8String& version = "1.6.0",
                             const Utf8String& digest = test_keys::kDigest) {
    return R"({"tessavin-server-linux-x86_64":)" + entry(signature, version, digest) + "}";
  }
  static Utf8String good_manifest() { return manifest(test_keys::kSignatureA); }
  std::vector<Utf8String> requested_after(std::size_t skip) const {
    return {fake.requested.begin() + static_cast<long>(skip), fake.requested.end()};
  }
};

TEST_F(SignedCheck, GoesOnPastBadManifestsAndWrongFilesToTheFirstHonestSource) {
  fake.responses[via(0, kManifestUrl)] = ok_body(manifest(test_keys::kSignatureB));
  fake.responses[via(1, kManifestUrl)] = ok_body(good_manifest());
  fake.responses[via(0, kRelease)] = ok_body("#!/bin/sh\nrm -rf ~\n");
  fake.responses[via(1, kRelease)] = ok_body(test_keys::kElfHeader + "another build");
  fake.responses[via(2, kRelease)] = ok_body(test_keys::kPackage);
  fake.responses[kRelease] = ok_body(test_keys::kElfHeader + "never asked for");
  self_update_thread(nullptr);
  std::vector<Utf8String> expected = all_four(kManifestUrl);
  for (int i = 0; i < 3; ++i) expected.push_back(via(i, kRelease));
  EXPECT_EQ(fake.requested, expected);
  EXPECT_EQ(installed(), test_keys::kPackage);
  EXPECT_EQ(fake.exits, std::vector<int>{0});
  EXPECT_EQ(log(), log_holding("新版本 1.6.0 已下载，正在重启…"));
}

TEST_F(SignedCheck, AManifestNotSignedForThisPlatformWithTheKeyIsNeverTaken) {
  const struct {
    const char* what;
    Utf8String body;
  } bad[] = {
      {"unsigned", manifest("")},
      {"signed with another key", manifest(test_keys::kSignatureB)},
      {"signed for the other platform", manifest(test_keys::kSignatureAForWindows)},
      {"malformed signature", manifest("00")},
      {"version raised after signing", manifest(test_keys::kSignatureA, "9.9.9")},
      {"no digest", manifest(test_keys::kSignatureA, "1.6.0", "")},
      {"signed entry under the exe's name",
       R"({"tessavin-server":)" + entry(test_keys::kSignatureA) + "}"},
      {"not a manifest", "<html>mirror error</html>"},
  };
  for (const auto& b : bad) {
    // Every source gives the bad manifest; none is taken, and nothing else
    // is asked for.
    reset();
    for (const Utf8String& url : all_four(kManifestUrl)) fake.responses[url] = ok_body(b.body);
    fake.responses[kRelease] = ok_body(test_keys::kPackage);
    self_update_thread(nullptr);
    EXPECT_EQ(fake.requested, all_four(kManifestUrl)) << b.what;
    EXPECT_EQ(log(), log_holding("检查更新失败：无法获取 manifest.json，继续使用当前版本。"))
        << b.what;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"}) << b.what;
  }
  // The same manifest, properly signed, from the last source is taken.
  fake.responses[kManifestUrl] = ok_body(good_manifest());
  self_update_thread(nullptr);
  EXPECT_EQ(installed(), test_keys::kPackage);
}

// One manifest for both platforms: each build takes its own entry and file.
TEST_F(SignedCheck, AManifestForBothPlatformsGivesEachItsOwnFile) {
  const Utf8String windows_url = "https://example.org/r/TessavinServer.exe";
  const Utf8String both =
      R"({"tessavin-server":)" +
      entry(test_keys::kWindowsSignatureA, "1.6.0", test_keys::kWindowsDigest, windows_url) +
      R"(,"tessavin-server-linux-x86_64":)" + entry(test_keys::kSignatureA) + "}";
  serve_manifest(both);
  fake.responses[kRelease] = ok_body(test_keys::kPackage);
  fake.responses[windows_url] = ok_body(test_keys::kWindowsPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(installed(), test_keys::kPackage);
  EXPECT_FALSE(requested(windows_url));

  reset();
  serve_manifest(both);
  fake.responses[kRelease] = ok_body(test_keys::kPackage);
  fake.responses[windows_url] = ok_body(test_keys::kWindowsPackage);
  as_platform("windows-x86_64", kExeEntry.c_str(), ExecutableKind::pe_x86_64);
  self_update_thread(nullptr);
  EXPECT_EQ(installed(), test_keys::kWindowsPackage);
  EXPECT_FALSE(requested(kRelease));
}

// A validly signed release whose file is no executable for this platform
// (here the exe, signed for Linux by mistake) is never written.
TEST_F(SignedCheck, ASignedFileWithTheWrongHeaderIsNeverWritten) {
  serve_manifest(manifest(test_keys::kWrongHeaderSignatureA, "1.6.0", test_keys::kWindowsDigest));
  for (const Utf8String& url : all_four(kRelease)) {
    fake.responses[url] = ok_body(test_keys::kWindowsPackage);
  }
  self_update_thread(nullptr);
  EXPECT_EQ(requested_after(4), all_four(kRelease));
  EXPECT_EQ(log(), log_holding("下载的文件不是本平台的可执行文件，放弃本次更新。"));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"});
  EXPECT_TRUE(fake.exits.empty());
}

// The hold-back a hostile first proxy could do when only the first answer
// counted: an old signed manifest read as "up to date".
TEST_F(SignedCheck, AnOlderSignedManifestFirstDoesNotStopANewerOneLater) {
  const Utf8String newer_url = "https://example.org/r/TessavinServer-1.7.0";
  fake.responses[via(0, kManifestUrl)] = ok_body(manifest(test_keys::kOlderSignatureA, "1.5.0"));
  fake.responses[via(1, kManifestUrl)] = ok_body(good_manifest());
  fake.responses[via(2, kManifestUrl)] = ok_body(
      R"({"tessavin-server-linux-x86_64":)" +
      entry(test_keys::kNewerSignatureA, "1.7.0", test_keys::kNewerDigest, newer_url) + "}");
  // A raised version is no signed one: it does not win.
  fake.responses[kManifestUrl] = ok_body(manifest(test_keys::kSignatureA, "9.9.9"));
  fake.responses[newer_url] = ok_body(test_keys::kNewerPackage);
  self_update_thread(nullptr);
  EXPECT_EQ(installed(), test_keys::kNewerPackage);
  EXPECT_EQ(log(), log_holding("新版本 1.7.0 已下载，正在重启…"));
  EXPECT_EQ(requested_after(4), all_four(newer_url));
}

TEST_F(SignedCheck, OnlyWhenEverySourceFailsIsTheDownloadGivenUp) {
  const struct {
    const char* what;
    std::vector<const char*> bodies;  // per source; nullptr for no answer
    const char* message;
  } cases[] = {
      {"every file wrong", {"MZ a", "MZ b", "MZ c", "MZ d"}, install_message::kDigestFailed},
      {"one wrong, the rest silent",
       {nullptr, "MZ b", nullptr, nullptr},
       install_message::kDigestFailed},
      {"no answer at all", {nullptr, nullptr, nullptr, nullptr}, check_message::kDownloadFailed},
  };
  for (const auto& c : cases) {
    reset();
    fake.responses[kManifestUrl] = ok_body(good_manifest());
    for (std::size_t i = 0; i < 4; ++i) {
      if (c.bodies[i]) fake.responses[all_four(kRelease)[i]] = ok_body(c.bodies[i]);
    }
    self_update_thread(nullptr);
    EXPECT_EQ(requested_after(4), all_four(kRelease)) << c.what;
    EXPECT_EQ(log(), log_holding(c.message)) << c.what;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"}) << c.what;
    EXPECT_TRUE(fake.exits.empty()) << c.what;
  }
}

}  // namespace
