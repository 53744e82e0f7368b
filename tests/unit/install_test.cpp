#include "update/install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "fake_platform.h"
#include "fake_update.h"
#include "service/paths.h"
#include "temp_dir.h"
#include "text/utf.h"

namespace {

namespace fs = std::filesystem;

const Utf8String kPackage = "MZ new build";
// SHA-256 of kPackage.
const Utf8String kDigest = "3b22041e0660c5d2aecc4e6f2e2e04306ab34c5e3f86a011cc103eb2a7153477";

std::string log_line(const std::string& message) {
  return "TessavinServer 1.5.0\r\n" + message + "\r\n";
}

struct Steps {
  std::vector<unsigned> sleeps;
  bool failing_create = false;
  bool failing_write = false;
  bool failing_move = false;
} g_steps;

WideString g_new_executable;
WideString g_script;
FileHandle g_new_executable_file = kNoFile;

// Only the steps on the new executable and the script fail; the log is
// written as usual.
FileHandle maybe_create(const WideString& path) {
  if (path != g_new_executable) {
    g_new_executable_file = kNoFile;  // closed by now; its number may come back
    return native_platform().create_for_write(path);
  }
  if (g_steps.failing_create) return kNoFile;
  return g_new_executable_file = native_platform().create_for_write(path);
}
bool maybe_write(FileHandle file, const char* data, std::size_t length) {
  // Half the bytes, then failure, as a full disk would.
  if (g_steps.failing_write && file == g_new_executable_file) {
    native_platform().write_file(file, data, length / 2);
    return false;
  }
  return native_platform().write_file(file, data, length);
}
bool maybe_move(const WideString& from, const WideString& to) {
  if (g_steps.failing_move && to == g_script) return false;
  return native_platform().move_replace(from, to);
}
void note_sleep(unsigned ms) { g_steps.sleeps.push_back(ms); }

class Install : public ::testing::Test {
 protected:
  TempDir dir;
  PlatformOverride platform_fake;
  UpdateOverride update;
  FakeUpdate& fake = fake_update();
  fs::path new_executable;
  fs::path script;

  void SetUp() override {
    g_steps = Steps{};
    set_service_directories(dir.path.u16string());
    new_executable = dir.path / fs::path(WideString(update.ops.new_executable_name));
    script = dir.path / fs::path(WideString(update.ops.swap_script_name));
    g_new_executable = new_executable.u16string();
    g_script = script.u16string();
    platform_fake.ops.create_for_write = maybe_create;
    platform_fake.ops.write_file = maybe_write;
    platform_fake.ops.move_replace = maybe_move;
    platform_fake.ops.sleep_ms = note_sleep;
  }
  std::string log() const { return read_file(dir.path / "TessavinServer-update.txt"); }
  std::vector<std::string> names() const {
    auto found = dir.names();
    std::sort(found.begin(), found.end());
    return found;
  }
  std::vector<std::string> sorted(std::vector<std::string> v) const {
    std::sort(v.begin(), v.end());
    return v;
  }
};

TEST(Sha256Hex, GivesLowerCaseHex) {
  UpdateOverride update;
  Utf8String out;
  ASSERT_TRUE(sha256_hex("", out));
  EXPECT_EQ(out, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  ASSERT_TRUE(sha256_hex("abc", out));
  EXPECT_EQ(out, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  fake_update().hash_works = false;
  EXPECT_FALSE(sha256_hex("abc", out));
  EXPECT_EQ(out, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST_F(Install, WritesTheBuildStartsTheScriptAndEndsTheProcess) {
  // Leftovers of an earlier attempt are replaced.
  write_file(new_executable, "old leftover, longer than the package");
  write_file(script, "old script");
  install_update(kPackage, kDigest, "1.6.0");
  EXPECT_EQ(read_file(new_executable), kPackage);
  EXPECT_EQ(read_file(script), update.ops.swap_script_text);
  EXPECT_EQ(fake.scripts_started, std::vector<WideString>{script.u16string()});
  EXPECT_EQ(fake.script_directories, std::vector<WideString>{dir.path.u16string()});
  EXPECT_EQ(log(), log_line("新版本 1.6.0 已下载，正在重启…"));
  EXPECT_EQ(g_steps.sleeps, std::vector<unsigned>{150});
  EXPECT_EQ(fake.exits, std::vector<int>{0});
}

TEST_F(Install, DigestRules) {
  Utf8String upper = kDigest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Utf8String wrong = kDigest;
  wrong[10] = wrong[10] == '0' ? '1' : '0';
  const struct {
    Utf8String digest;
    bool accepted;
  } cases[] = {
      {kDigest, true},
      {upper, true},
      {"", true},  // no digest: not verified
      {" " + kDigest, false},
      {kDigest + " ", false},
      {"sha256:" + kDigest, false},
      {kDigest.substr(0, 63), false},
      {wrong, false},
  };
  for (const auto& c : cases) {
    fs::remove(new_executable);
    fs::remove(script);
    fake.exits.clear();
    install_update(kPackage, c.digest, "1.6.0");
    EXPECT_EQ(fake.exits.size(), c.accepted ? 1u : 0u) << c.digest;
    if (!c.accepted) {
      EXPECT_EQ(log(), log_line("下载文件的 SHA-256 校验失败，放弃本次更新。")) << c.digest;
      EXPECT_EQ(names(), std::vector<std::string>{"TessavinServer-update.txt"}) << c.digest;
    }
  }
}

TEST_F(Install, AHashThatCannotBeComputedIsADigestFailure) {
  fake.hash_works = false;
  install_update(kPackage, kDigest, "1.6.0");
  EXPECT_EQ(log(), log_line("下载文件的 SHA-256 校验失败，放弃本次更新。"));
  EXPECT_EQ(names(), std::vector<std::string>{"TessavinServer-update.txt"});
  // Without a digest nothing is hashed.
  install_update(kPackage, "", "1.6.0");
  EXPECT_EQ(fake.exits, std::vector<int>{0});
}

TEST_F(Install, EachFailedStepLogsAndKeepsTheService) {
  const std::string exe = new_executable.filename().string();
  const std::string bat = script.filename().string();
  const struct {
    const char* step;
    void (*arrange)(FakeUpdate&);
    const char* message;
    std::vector<std::string> left;  // besides the log
  } cases[] = {
      {"create", [](FakeUpdate&) { g_steps.failing_create = true; },
       "写入新版本失败，继续使用当前版本。", {}},
      {"write", [](FakeUpdate&) { g_steps.failing_write = true; },
       "写入新版本失败，继续使用当前版本。", {}},
      {"script", [](FakeUpdate&) { g_steps.failing_move = true; },
       "创建更新脚本失败，继续使用当前版本。", {exe}},
      {"start", [](FakeUpdate& f) { f.script_starts = false; },
       "启动更新脚本失败，继续使用当前版本。", {exe, bat}},
  };
  for (const auto& c : cases) {
    for (const auto& name : names()) fs::remove(dir.path / name);
    g_steps = Steps{};
    fake.script_starts = true;
    c.arrange(fake);
    install_update(kPackage, kDigest, "1.6.0");
    std::vector<std::string> expected = c.left;
    expected.push_back("TessavinServer-update.txt");
    EXPECT_EQ(log(), log_line(c.message)) << c.step;
    EXPECT_EQ(names(), sorted(expected)) << c.step;
    EXPECT_TRUE(fake.exits.empty()) << c.step;
    // No pause before an exit that does not come (a failing move is retried
    // with short pauses of its own).
    EXPECT_EQ(std::count(g_steps.sleeps.begin(), g_steps.sleeps.end(), 150u), 0) << c.step;
    if (!c.left.empty()) {
      EXPECT_EQ(read_file(new_executable), kPackage) << c.step;
    }
  }
}

}  // namespace
