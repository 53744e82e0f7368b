#pragma once
// The encoding detector's guess for bytes that are not UTF-8 (the adapter
// over uchardet): its upper-case name ("GB18030", "BIG5", "SHIFT_JIS",
// "EUC-KR", "WINDOWS-1252", ...), or empty when it has none.
#include <string>

#include "text/strings.h"

Utf8String detect_charset(const std::string& bytes);
