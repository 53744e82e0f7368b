#pragma once
// Whether a downloaded release file is an executable this build can become:
// a release for another platform, or no executable at all, must never be
// written over the running one.
#include "text/strings.h"
#include "update/update_ops.h"

// True when `file` starts with the header of `kind`: for PE, the MZ stub
// pointing at a "PE\0\0" header for machine x86-64 (0x8664) with a PE32+
// optional header; for ELF, a 64-bit little-endian current-version ELF
// executable or shared object for x86-64 (machine 62).
bool has_executable_header(const Utf8String& file, ExecutableKind kind);
