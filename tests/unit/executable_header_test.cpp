#include "update/executable_header.h"

#include <gtest/gtest.h>

#include "release_keys.h"
#include "temp_dir.h"

namespace {

using test_keys::kElfHeader;
using test_keys::kPeHeader;

Utf8String with_byte(const Utf8String& bytes, std::size_t at, char value) {
  return bytes.substr(0, at) + value + bytes.substr(at + 1);
}

TEST(ExecutableHeader, TakesOnlyThisPlatformsFormat) {
  const struct {
    const char* what;
    Utf8String file;
    bool pe, elf;
  } cases[] = {
      {"PE x86-64", kPeHeader + "code", true, false},
      {"ELF x86-64", kElfHeader + "code", false, true},
      {"ELF x86-64 executable (not a shared object)", with_byte(kElfHeader, 16, 2), false, true},
      {"empty", "", false, false},
      {"a shell script", "#!/bin/sh\necho owned\n", false, false},
      {"an HTML error page", "<html>502 Bad Gateway</html>", false, false},
      {"MZ alone", "MZ", false, false},
      {"PE header cut short", kPeHeader.substr(0, kPeHeader.size() - 1), false, false},
      {"PE for i386", with_byte(with_byte(kPeHeader, 0x44, 0x4c), 0x45, 0x01), false, false},
      {"PE for arm64", with_byte(with_byte(kPeHeader, 0x44, 0x64), 0x45, static_cast<char>(0xaa)),
       false, false},
      {"PE32, not PE32+", with_byte(kPeHeader, 0x59, 0x01), false, false},
      {"PE header pointer past the end", with_byte(kPeHeader, 0x3C, 0x7f), false, false},
      {"PE header pointer at 4 GiB",
       kPeHeader.substr(0, 0x3C) + Utf8String(4, '\xff') + kPeHeader.substr(0x40), false, false},
      {"no PE signature", with_byte(kPeHeader, 0x41, 'F'), false, false},
      {"ELF header cut short", kElfHeader.substr(0, 63), false, false},
      {"ELF for aarch64", with_byte(kElfHeader, 18, static_cast<char>(183)), false, false},
      {"ELF for i386", with_byte(kElfHeader, 18, 3), false, false},
      {"32-bit ELF", with_byte(kElfHeader, 4, 1), false, false},
      {"big-endian ELF", with_byte(kElfHeader, 5, 2), false, false},
      {"ELF relocatable object", with_byte(kElfHeader, 16, 1), false, false},
      {"ELF core dump", with_byte(kElfHeader, 16, 4), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(has_executable_header(c.file, ExecutableKind::pe_x86_64), c.pe) << c.what;
    EXPECT_EQ(has_executable_header(c.file, ExecutableKind::elf_x86_64), c.elf) << c.what;
  }
}

// The real service binary of this build passes its own platform's check and
// fails the other's.
TEST(ExecutableHeader, TheServiceBinaryOfThisBuildIsOfItsOwnKind) {
  const Utf8String binary = read_file(TESSAVIN_SERVICE_BINARY);
  ASSERT_GT(binary.size(), 4096u);
  const ExecutableKind own = native_update_ops().executable_kind;
  const ExecutableKind other =
      own == ExecutableKind::pe_x86_64 ? ExecutableKind::elf_x86_64 : ExecutableKind::pe_x86_64;
  EXPECT_TRUE(has_executable_header(binary, own));
  EXPECT_FALSE(has_executable_header(binary, other));
}

}  // namespace
