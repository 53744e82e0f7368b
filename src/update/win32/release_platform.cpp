// What a Windows release is: its line in the signed text, its manifest entry
// and its executable format.
#include "update/binding.h"

const char native_update::kPlatformName[] = "windows-x86_64";
const char native_update::kManifestEntry[] = "tessavin-server";
const ExecutableKind native_update::kExecutableKind = ExecutableKind::pe_x86_64;
