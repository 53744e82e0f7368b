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

const Utf8String kRelease = "https://example.org/r/TessavinServer-new";

class Check : public ::testing::Test {
 protected:
  TempDir dir;
  UpdateOverride update;
  FakeUpdate& fake = fake_update();

  void SetUp() override { set_service_directories(dir.path.u16string()); }
  void serve_manifest(const Utf8String& manifest) { fake.responses[kManifestUrl] = ok_body(manifest); }
  std::string log() const { return read_file(dir.path / "TessavinServer-update.txt"); }
  bool release_requested() const {
    return std::find(fake.requested.begin(), fake.requested.end(), kRelease) !=
           fake.requested.end();
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
      {R"({"tessavin-server":{"url":"x"},"version":"9"})", "检查更新失败：清单缺少版本号。", false},
      {R"({"tessavin-server":{"version":"1.5.0"}})", "已是最新版本（1.5.0）。", false},
      {R"({"tessavin-server":{"version":"1.4.0","url":"u"}})", "已是最新版本（1.4.0）。", false},
      {R"({"tessavin-server":{"version":""}})", "已是最新版本（）。", false},
      {R"({"tessavin-server":{"version":"1.6.0","url":""}})",
       "发现新版本 1.6.0，但清单缺少下载地址。", false},
      {R"({"tessavin-server":{"version":"1.6.0"},"url":"https://example.org/r/TessavinServer-new"})",
       "发现新版本 1.6.0，但清单缺少下载地址。", false},
      {R"({"tessavin-server":{"version":"1.6.0","url":"https://example.org/r/TessavinServer-new"}})",
       "下载新版本失败，继续使用当前版本。", true},
  };
  for (const auto& c : cases) {
    fake.responses.clear();
    fake.requested.clear();
    if (c.manifest) serve_manifest(c.manifest);
    self_update_thread(nullptr);
    EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n" + std::string(c.message) + "\r\n") << c.message;
    EXPECT_EQ(release_requested(), c.downloads) << c.message;
    EXPECT_TRUE(fake.exits.empty());
  }
}

TEST_F(Check, ANewerBuildIsDownloadedVerifiedAndInstalled) {
  const Utf8String build = "MZ new build";
  serve_manifest(R"({"tessavin-server":{"version":"1.6.0","url":"https://example.org/r/TessavinServer-new",)"
                 R"("sha256":"3b22041e0660c5d2aecc4e6f2e2e04306ab34c5e3f86a011cc103eb2a7153477"}})");
  fake.responses[kRelease] = ok_body(build);
  self_update_thread(nullptr);
  EXPECT_EQ(fake.timeouts.back(), 60000u);
  EXPECT_EQ(read_file(dir.path / std::filesystem::path(WideString(update.ops.new_executable_name))),
            build);
  EXPECT_EQ(fake.exits, std::vector<int>{0});
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n新版本 1.6.0 已下载，正在重启…\r\n");
}

TEST_F(Check, AWrongDigestLeavesNothingButTheLog) {
  serve_manifest(R"({"tessavin-server":{"version":"2.0","url":"https://example.org/r/TessavinServer-new",)"
                 R"("sha256":"0000000000000000000000000000000000000000000000000000000000000000"}})");
  fake.responses[kRelease] = ok_body("MZ");
  self_update_thread(nullptr);
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n下载文件的 SHA-256 校验失败，放弃本次更新。\r\n");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"});
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
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n发现新版本 9，但清单缺少下载地址。\r\n");
}

// A build with a release key: every source is judged, and one that gives a
// manifest not signed with that key, or a file other than the signed one,
// counts as not having answered.
class SignedCheck : public Check {
 protected:
  void SetUp() override {
    Check::SetUp();
    update.ops.release_public_key = test_keys::kPublicKeyA.c_str();
  }
  static Utf8String via(int proxy, const Utf8String& url) { return kProxyPrefixes[proxy] + url; }
  static Utf8String manifest(const Utf8String& signature, const Utf8String& version = "1.6.0",
                             const Utf8String& digest = test_keys::kDigest) {
    Utf8String entry = R"({"version":")" + version + R"(","url":")" + kRelease + '"';
    if (!digest.empty()) entry += R"(,"sha256":")" + digest + '"';
    if (!signature.empty()) entry += R"(,"signature":")" + signature + '"';
    return R"({"tessavin-server":)" + entry + "}}";
  }
  static Utf8String good_manifest() { return manifest(test_keys::kSignatureA); }
  std::vector<Utf8String> all_four(const Utf8String& url) const {
    return {via(0, url), via(1, url), via(2, url), url};
  }
  std::vector<Utf8String> requested_after(std::size_t skip) const {
    return {fake.requested.begin() + static_cast<long>(skip), fake.requested.end()};
  }
  Utf8String installed() const {
    return read_file(dir.path / std::filesystem::path(WideString(update.ops.new_executable_name)));
  }
};

TEST_F(SignedCheck, GoesOnPastBadManifestsAndWrongFilesToTheFirstHonestSource) {
  fake.responses[via(0, kManifestUrl)] = ok_body(manifest(test_keys::kSignatureB));
  fake.responses[via(1, kManifestUrl)] = ok_body(good_manifest());
  fake.responses[via(0, kRelease)] = ok_body("#!/bin/sh\nrm -rf ~\n");
  fake.responses[via(1, kRelease)] = ok_body("MZ another build");
  fake.responses[via(2, kRelease)] = ok_body(test_keys::kPackage);
  fake.responses[kRelease] = ok_body("MZ never asked for");
  self_update_thread(nullptr);
  const std::vector<Utf8String> expected = {via(0, kManifestUrl), via(1, kManifestUrl),
                                            via(0, kRelease), via(1, kRelease), via(2, kRelease)};
  EXPECT_EQ(fake.requested, expected);
  EXPECT_EQ(installed(), test_keys::kPackage);
  EXPECT_EQ(fake.exits, std::vector<int>{0});
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n新版本 1.6.0 已下载，正在重启…\r\n");
}

TEST_F(SignedCheck, AManifestNotSignedWithTheKeyIsNeverTaken) {
  const struct {
    const char* what;
    Utf8String body;
  } bad[] = {
      {"unsigned", manifest("")},
      {"signed with another key", manifest(test_keys::kSignatureB)},
      {"malformed signature", manifest("00")},
      {"version raised after signing", manifest(test_keys::kSignatureA, "9.9.9")},
      {"no digest", manifest(test_keys::kSignatureA, "1.6.0", "")},
      {"signed entry under another name", R"({"tessavin-server2":)" + good_manifest().substr(18)},
      {"not a manifest", "<html>mirror error</html>"},
  };
  for (const auto& b : bad) {
    // Every source gives the bad manifest; none is taken, and nothing else
    // is asked for.
    fake.responses.clear();
    fake.requested.clear();
    for (const Utf8String& url : all_four(kManifestUrl)) fake.responses[url] = ok_body(b.body);
    fake.responses[kRelease] = ok_body(test_keys::kPackage);
    self_update_thread(nullptr);
    EXPECT_EQ(fake.requested, all_four(kManifestUrl)) << b.what;
    EXPECT_EQ(
        log(),
        "TessavinServer 1.5.0\r\n检查更新失败：无法获取 manifest.json，继续使用当前版本。\r\n")
        << b.what;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"}) << b.what;
  }
  // The same manifest, properly signed, from the last source is taken.
  fake.responses[kManifestUrl] = ok_body(good_manifest());
  self_update_thread(nullptr);
  EXPECT_EQ(installed(), test_keys::kPackage);
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
    fake.responses.clear();
    fake.requested.clear();
    fake.responses[kManifestUrl] = ok_body(good_manifest());
    for (std::size_t i = 0; i < 4; ++i) {
      if (c.bodies[i]) fake.responses[all_four(kRelease)[i]] = ok_body(c.bodies[i]);
    }
    self_update_thread(nullptr);
    EXPECT_EQ(requested_after(4), all_four(kRelease)) << c.what;
    EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n" + Utf8String(c.message) + "\r\n") << c.what;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"}) << c.what;
    EXPECT_TRUE(fake.exits.empty()) << c.what;
  }
}

}  // namespace
