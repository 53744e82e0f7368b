// The Windows binding's own names, the swap script byte for byte, and the
// environment lookup.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "environment.h"
#include "text/utf.h"
#include "update/update_ops.h"

void set_environment(const char* name, const char* value) {
  const WideString wide_name = utf8_to_utf16(name);
  const WideString wide_value = value ? utf8_to_utf16(value) : WideString();
  SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()),
                          value ? reinterpret_cast<const wchar_t*>(wide_value.c_str()) : nullptr);
}

namespace {

TEST(WindowsUpdateBinding, WritesTheElevenLineBatchScript) {
  const UpdateOps& ops = native_update_ops();
  EXPECT_EQ(WideString(ops.new_executable_name), u"TessavinServer-new.exe");
  EXPECT_EQ(WideString(ops.swap_script_name), u"TessavinServer-update.bat");
  EXPECT_EQ(std::string(ops.swap_script_text),
            "@echo off\r\n"
            "setlocal\r\n"
            "set n=0\r\n"
            ":retry\r\n"
            "set /a n+=1\r\n"
            "if %n% gtr 60 exit /b 1\r\n"
            "ping -n 2 127.0.0.1 >nul\r\n"
            "move /y \"%~dp0TessavinServer-new.exe\" \"%~dp0TessavinServer.exe\" >nul 2>nul\r\n"
            "if errorlevel 1 goto retry\r\n"
            "start \"\" \"%~dp0TessavinServer.exe\"\r\n"
            "del \"%~f0\"\r\n");
}

// The exe keeps the manifest entry it always read; its signed platform line
// and its executable format are its own.
TEST(WindowsUpdateBinding, IsTheWindowsX8664Release) {
  const UpdateOps& ops = native_update_ops();
  EXPECT_EQ(std::string(ops.platform_name), "windows-x86_64");
  EXPECT_EQ(std::string(ops.manifest_entry), "tessavin-server");
  EXPECT_EQ(ops.executable_kind, ExecutableKind::pe_x86_64);
}

TEST(WindowsUpdateBinding, VariableNamesMatchWithoutRegardToCase) {
  set_environment("zelvo_no_self_update", "");
  EXPECT_TRUE(native_update_ops().switched_off());
  set_environment("zelvo_no_self_update", nullptr);
  EXPECT_FALSE(native_update_ops().switched_off());
}

}  // namespace
