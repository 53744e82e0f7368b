#include "update/update_log.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "service/paths.h"
#include "temp_dir.h"

namespace {

class UpdateLog : public ::testing::Test {
 protected:
  TempDir dir;
  void SetUp() override { set_service_directories(dir.path.u16string()); }
  std::string log() const { return read_file(dir.path / "TessavinServer-update.txt"); }
};

TEST_F(UpdateLog, HoldsTheRunningVersionAndOnlyTheLatestMessage) {
  update_log("正在检查 GitHub Releases…");
  update_log("已是最新版本（9.9.9）。");
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\n已是最新版本（9.9.9）。\r\n");
  // A message is written as given, line breaks and all.
  update_log("two\nlines\r\n");
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\ntwo\nlines\r\n\r\n");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"});
}

bool refuse_move(const WideString&, const WideString&) { return false; }

TEST_F(UpdateLog, AFailedWriteKeepsThePreviousContent) {
  update_log("first");
  PlatformOverride fake;
  fake.ops.move_replace = refuse_move;
  update_log("second");
  EXPECT_EQ(log(), "TessavinServer 1.5.0\r\nfirst\r\n");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"TessavinServer-update.txt"});
}

}  // namespace
