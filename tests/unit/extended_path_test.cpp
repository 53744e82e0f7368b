// The literal, long form of Windows paths that the Windows binding hands to
// the file system; pure string work, so it runs on every platform.
#include "service/extended_path.h"

#include <gtest/gtest.h>

#include "text/utf.h"

namespace {

TEST(ExtendedPath, TableOfPathForms) {
  const WideString cwd = u"C:\\Work\\Dir";
  const struct {
    WideString path;
    WideString current;
    WideString expected;
  } cases[] = {
      {u"C:\\Music\\a.mp3", cwd, u"\\\\?\\C:\\Music\\a.mp3"},
      {u"d:\\x", cwd, u"\\\\?\\d:\\x"},
      {u"C:/Music/sub/a.mp3", cwd, u"\\\\?\\C:\\Music\\sub\\a.mp3"},
      {u"C:\\", cwd, u"\\\\?\\C:\\"},
      {u"C:\\a\\\\b\\", cwd, u"\\\\?\\C:\\a\\b"},
      // Segments are resolved before the prefix switches that off, and ".."
      // never climbs above the root.
      {u"C:\\a\\.\\b\\..\\c", cwd, u"\\\\?\\C:\\a\\c"},
      {u"C:\\..\\..\\a", cwd, u"\\\\?\\C:\\a"},
      // Relative paths are taken against the current directory.
      {u"data\\x.json", cwd, u"\\\\?\\C:\\Work\\Dir\\data\\x.json"},
      {u"..\\x", cwd, u"\\\\?\\C:\\Work\\x"},
      {u".", cwd, u"\\\\?\\C:\\Work\\Dir"},
      {u"\\top\\x", cwd, u"\\\\?\\C:\\top\\x"},
      {u"C:x", cwd, u"\\\\?\\C:\\Work\\Dir\\x"},
      {u"D:x", cwd, u"\\\\?\\D:\\x"},
      {u"x", u"\\\\?\\C:\\Long", u"\\\\?\\C:\\Long\\x"},
      {u"x", u"\\\\srv\\share\\in", u"\\\\?\\UNC\\srv\\share\\in\\x"},
      {u"\\x", u"\\\\srv\\share\\in", u"\\\\?\\UNC\\srv\\share\\x"},
      {u"x", u"\\\\?\\UNC\\srv\\share", u"\\\\?\\UNC\\srv\\share\\x"},
      // A current directory that is not absolute cannot anchor anything.
      {u"data\\x", u"", u"data\\x"},
      {u"data\\x", u"rel", u"data\\x"},
      // Network shares.
      {u"\\\\server\\share\\a\\b.mp3", cwd, u"\\\\?\\UNC\\server\\share\\a\\b.mp3"},
      {u"//server/share/a", cwd, u"\\\\?\\UNC\\server\\share\\a"},
      {u"\\\\server\\share\\..\\..\\a", cwd, u"\\\\?\\UNC\\server\\share\\a"},
      {u"\\\\server\\share", cwd, u"\\\\?\\UNC\\server\\share\\"},
      // Already literal: untouched, even its dots.
      {u"\\\\?\\C:\\a\\..\\b", cwd, u"\\\\?\\C:\\a\\..\\b"},
      {u"\\\\?\\UNC\\s\\h\\x", cwd, u"\\\\?\\UNC\\s\\h\\x"},
      {u"\\\\.\\pipe\\x", cwd, u"\\\\.\\pipe\\x"},
      // Device names and trailing dots and spaces stay ordinary names.
      {u"C:\\data\\CON.json", cwd, u"\\\\?\\C:\\data\\CON.json"},
      {u"C:\\data\\nul", cwd, u"\\\\?\\C:\\data\\nul"},
      {u"C:\\data\\x. ", cwd, u"\\\\?\\C:\\data\\x. "},
      {u"C:\\data\\dots...\\y.", cwd, u"\\\\?\\C:\\data\\dots...\\y."},
      {u"C:\\data\\...", cwd, u"\\\\?\\C:\\data\\..."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(extended_length_path(c.path, c.current), c.expected) << utf16_to_utf8(c.path);
  }
}

TEST(ExtendedPath, LongPathsKeepEveryUnit) {
  WideString path = u"C:\\";
  for (int i = 0; i < 40; ++i) path += u"folder name " + WideString(1, u'a' + i % 26) + u"\\";
  path += u"song.mp3";
  ASSERT_GT(path.size(), 400u);
  EXPECT_EQ(extended_length_path(path, u"C:\\"), u"\\\\?\\" + path);
}

}  // namespace
