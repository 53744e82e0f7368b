// When the service rewrites the version Apps & features shows: only for the
// exe in the registered install location, and only when it differs.
#include "service/win32/installed_version.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The registry entry and the running exe, faked.
struct Fake {
  std::map<std::u16string, WideString> values;
  bool writable = true;
  WideString running =
      u"C:\\Users\\Lin\\AppData\\Local\\Programs\\Tessavin Server\\TessavinServer.exe";
  int writes = 0;
};
Fake* g_fake = nullptr;

const InstalledEntryOps kFakeOps = {
    [](const char16_t* name, WideString& value) {
      const auto found = g_fake->values.find(name);
      if (found == g_fake->values.end()) return false;
      value = found->second;
      return true;
    },
    [](const char16_t* name, const WideString& value) {
      if (!g_fake->writable) return false;
      ++g_fake->writes;
      g_fake->values[name] = value;
      return true;
    },
    [] { return g_fake->running; },
    // Windows compares paths without case; so does this stand-in.
    [](const WideString& a, const WideString& b) {
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
      }
      return true;
    },
};

TEST(InstalledVersion, WrittenOnlyForTheInstalledExeAndOnlyWhenItDiffers) {
  const WideString here = u"C:\\Users\\Lin\\AppData\\Local\\Programs\\Tessavin Server";
  const struct {
    const char* what;
    std::map<std::u16string, WideString> values;
    WideString running;
    bool writable;
    InstalledVersion expected;
    WideString shown_after;  // DisplayVersion afterwards; empty when none
  } cases[] = {
      {"never installed", {}, {}, true, InstalledVersion::not_installed, u""},
      {"entry without a location",
       {{u"DisplayVersion", u"1.5.0"}},
       {},
       true,
       InstalledVersion::not_installed,
       u"1.5.0"},
      {"empty location",
       {{u"InstallLocation", u""}, {u"DisplayVersion", u"1.5.0"}},
       {},
       true,
       InstalledVersion::not_installed,
       u"1.5.0"},
      {"a copy in Downloads",
       {{u"InstallLocation", here}, {u"DisplayVersion", u"1.5.0"}},
       u"C:\\Users\\Lin\\Downloads\\TessavinServer.exe",
       true,
       InstalledVersion::elsewhere,
       u"1.5.0"},
      {"another exe in the install folder",
       {{u"InstallLocation", here}, {u"DisplayVersion", u"1.5.0"}},
       here + u"\\TessavinServer-new.exe",
       true,
       InstalledVersion::elsewhere,
       u"1.5.0"},
      {"running exe unknown",
       {{u"InstallLocation", here}, {u"DisplayVersion", u"1.5.0"}},
       u"-",
       true,
       InstalledVersion::elsewhere,
       u"1.5.0"},
      {"installed, same version",
       {{u"InstallLocation", here}, {u"DisplayVersion", u"1.6.0"}},
       {},
       true,
       InstalledVersion::already_true,
       u"1.6.0"},
      {"installed, after a self-update",
       {{u"InstallLocation", here}, {u"DisplayVersion", u"1.5.0"}},
       {},
       true,
       InstalledVersion::written,
       u"1.6.0"},
      {"location with a trailing backslash, other case",
       {{u"InstallLocation", u"c:\\users\\lin\\appdata\\local\\programs\\tessavin server\\"},
        {u"DisplayVersion", u"1.5.0"}},
       {},
       true,
       InstalledVersion::written,
       u"1.6.0"},
      {"installed, no version shown",
       {{u"InstallLocation", here}},
       {},
       true,
       InstalledVersion::written,
       u"1.6.0"},
      {"registry refuses the write",
       {{u"InstallLocation", here}, {u"DisplayVersion", u"1.5.0"}},
       {},
       false,
       InstalledVersion::write_failed,
       u"1.5.0"},
  };
  for (const auto& c : cases) {
    Fake fake;
    fake.values = c.values;
    fake.writable = c.writable;
    if (c.running == u"-")
      fake.running.clear();
    else if (!c.running.empty())
      fake.running = c.running;
    g_fake = &fake;
    EXPECT_EQ(keep_installed_version_true(kFakeOps, u"1.6.0"), c.expected) << c.what;
    const auto shown = fake.values.find(u"DisplayVersion");
    EXPECT_EQ(shown == fake.values.end() ? WideString() : shown->second, c.shown_after) << c.what;
    EXPECT_EQ(fake.writes, c.expected == InstalledVersion::written ? 1 : 0) << c.what;
    g_fake = nullptr;
  }
}

}  // namespace
