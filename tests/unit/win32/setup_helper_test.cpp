// The installer helper's decisions and its file operations on real files.
#include "setup/win32/setup_helper.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "service/win32/same_file.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(SetupStart, WhatEachLookSettles) {
  const struct {
    const char* what;
    StartLook look;
    int expected;
  } cases[] = {
      {"still starting", {false, 0, false, false}, -1},
      {"port written, not answering yet", {false, 0, true, false}, -1},
      {"answering", {false, 0, true, true}, kSetupDone},
      {"no free port", {true, 1, false, false}, kSetupNoFreePort},
      {"another instance held the guard", {true, 0, false, false}, kSetupAnotherCopy},
      // Served, then handed over to a downloaded build: its restart answers.
      {"handed over to a self-update", {true, 0, true, false}, -1},
      {"crashed", {true, 0xC0000005, false, false}, kSetupNoAnswer},
      {"killed", {true, 9, true, false}, kSetupNoAnswer},
  };
  for (const auto& c : cases) EXPECT_EQ(start_outcome(c.look), c.expected) << c.what;
}

void touch(const fs::path& path, const std::string& content = "x") {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(SameFile, OneFileHoweverSpeltAndNoOther) {
  TempDir dir;
  fs::create_directories(dir.path / "Tessavin Server");
  fs::create_directories(dir.path / "Elsewhere");
  touch(dir.path / "Tessavin Server" / "TessavinServer.exe");
  touch(dir.path / "Elsewhere" / "TessavinServer.exe");
  const WideString installed = (dir.path / "Tessavin Server" / "TessavinServer.exe").u16string();
  WideString upper = installed;
  for (auto& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  EXPECT_TRUE(same_file(installed, installed));
  EXPECT_TRUE(same_file(installed, upper));
  EXPECT_TRUE(same_file(installed,
                        (dir.path / "Tessavin Server" / "." / "TessavinServer.exe").u16string()));
  EXPECT_FALSE(same_file(installed, (dir.path / "Elsewhere" / "TessavinServer.exe").u16string()));
  // Missing files fall back to comparing the paths.
  const WideString gone = (dir.path / "Gone" / "TessavinServer.exe").u16string();
  EXPECT_TRUE(same_file(gone, gone));
  EXPECT_FALSE(same_file(gone, installed));
  EXPECT_FALSE(same_file(u"", installed));
}

TEST(RemoveTree, DeletesEverythingBelowIncludingReadOnlyFiles) {
  TempDir dir;
  const fs::path data = dir.path / "data";
  fs::create_directories(data / "music" / "Live");
  touch(data / "settings.json", "{}");
  touch(data / "music" / "Live" / "01 Intro.mp3");
  SetFileAttributesW((data / "music" / "Live" / "01 Intro.mp3").wstring().c_str(),
                     FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(remove_tree(data.u16string()), kSetupDone);
  EXPECT_FALSE(fs::exists(data));
  // Nothing there is nothing to do.
  EXPECT_EQ(remove_tree(data.u16string()), kSetupDone);
}

// A link in the music folder goes; the music it points at stays.
TEST(RemoveTree, RemovesLinksWithoutEnteringThem) {
  TempDir dir;
  const fs::path data = dir.path / "data";
  const fs::path library = dir.path / "library";
  fs::create_directories(data / "music");
  fs::create_directories(library / "Album");
  touch(library / "Album" / "song.flac", "kept");
  const std::wstring link = (data / "music" / "Album").wstring();
  if (!CreateSymbolicLinkW(
          link.c_str(), (library / "Album").wstring().c_str(),
          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "this system makes no directory links for this user: " << GetLastError();
  }
  ASSERT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(remove_tree(data.u16string()), kSetupDone);
  EXPECT_FALSE(fs::exists(data));
  EXPECT_EQ(read_file(library / "Album" / "song.flac"), "kept");
}

}  // namespace
