#include "update/executable_header.h"

#include <cstdint>

namespace {

std::uint32_t little_endian(const Utf8String& bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

bool is_pe_x86_64(const Utf8String& file) {
  if (file.size() < 0x40 || file.compare(0, 2, "MZ") != 0) return false;
  const std::uint64_t pe = little_endian(file, 0x3C, 4);
  // Signature (4), machine (2) ... up to the optional header's magic at 24.
  if (pe + 26 > file.size()) return false;
  const std::size_t at = static_cast<std::size_t>(pe);
  return file.compare(at, 4, Utf8String("PE\0\0", 4)) == 0 &&
         little_endian(file, at + 4, 2) == 0x8664 && little_endian(file, at + 24, 2) == 0x20B;
}

bool is_elf_x86_64(const Utf8String& file) {
  constexpr std::size_t kHeaderSize = 64;
  if (file.size() < kHeaderSize || file.compare(0, 4, "\177ELF") != 0) return false;
  const bool elf64_lsb_current = file[4] == 2 && file[5] == 1 && file[6] == 1;
  const std::uint32_t type = little_endian(file, 16, 2);
  return elf64_lsb_current && (type == 2 || type == 3) && little_endian(file, 18, 2) == 62;
}

}  // namespace

bool has_executable_header(const Utf8String& file, ExecutableKind kind) {
  switch (kind) {
    case ExecutableKind::pe_x86_64:
      return is_pe_x86_64(file);
    case ExecutableKind::elf_x86_64:
      return is_elf_x86_64(file);
  }
  return false;
}
