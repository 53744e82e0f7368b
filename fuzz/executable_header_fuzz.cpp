// The header check of a downloaded release file, for any bytes: it never
// reads past the end, and no file passes as both formats.
#include "check.h"
#include "update/executable_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  const bool pe = has_executable_header(file, ExecutableKind::pe_x86_64);
  const bool elf = has_executable_header(file, ExecutableKind::elf_x86_64);
  FUZZ_CHECK(!(pe && elf));
  if (pe) FUZZ_CHECK(file.size() >= 0x40 && file.compare(0, 2, "MZ") == 0);
  if (elf) FUZZ_CHECK(file.size() >= 64 && file.compare(0, 4, "\177ELF") == 0);
  return 0;
}
