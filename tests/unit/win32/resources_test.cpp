// What the built exe tells Windows about itself: the version resource, and
// the application manifest the loader reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Version {
  DWORD major = 0, minor = 0, patch = 0, build = 0;
  std::wstring product_version;
};

bool read_version(const wchar_t* exe, Version& out) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe, &ignored);
  if (size == 0) return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(exe, 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return false;
  out.major = HIWORD(fixed->dwFileVersionMS);
  out.minor = LOWORD(fixed->dwFileVersionMS);
  out.patch = HIWORD(fixed->dwFileVersionLS);
  out.build = LOWORD(fixed->dwFileVersionLS);
  wchar_t* text = nullptr;
  if (!VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                      reinterpret_cast<void**>(&text), &length)) {
    return false;
  }
  out.product_version = text;
  return true;
}

std::string manifest_of(const wchar_t* exe) {
  HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return "";
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const HGLOBAL loaded = LoadResource(module, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    if (bytes) text.assign(bytes, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

TEST(ExeResources, CarryTheServiceVersion) {
  const struct {
    const wchar_t* exe;
    DWORD minor;
    const wchar_t* text;
  } builds[] = {{TESSAVIN_EXE, 5, L"1.5.0"}, {TESSAVIN_NEW_BUILD_EXE, 6, L"1.6.0"}};
  for (const auto& b : builds) {
    Version v;
    ASSERT_TRUE(read_version(b.exe, v));
    EXPECT_EQ(v.major, 1u);
    EXPECT_EQ(v.minor, b.minor);
    EXPECT_EQ(v.patch, 0u);
    EXPECT_EQ(v.build, 0u);
    EXPECT_EQ(v.product_version, b.text);
  }
}

TEST(ExeResources, CarryTheApplicationManifest) {
  const std::string manifest = manifest_of(TESSAVIN_EXE);
  ASSERT_NE(manifest, "");
  EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
  // Windows 10 and 11 share one id.
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
  EXPECT_NE(manifest.find("<ws2:longPathAware>true</ws2:longPathAware>"), std::string::npos);
}

}  // namespace
