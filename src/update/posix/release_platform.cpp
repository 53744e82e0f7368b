// What a Linux release is: its line in the signed text, its own manifest
// entry (the exe keeps "tessavin-server"), and its executable format.
#include "update/binding.h"

const char native_update::kPlatformName[] = "linux-x86_64";
const char native_update::kManifestEntry[] = "tessavin-server-linux-x86_64";
const ExecutableKind native_update::kExecutableKind = ExecutableKind::elf_x86_64;
