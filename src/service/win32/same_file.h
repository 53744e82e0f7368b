#pragma once
// Whether two paths name one and the same file on Windows.
#include "text/strings.h"

// True when both paths open and name the same file (same volume, same file
// index), however each is spelt: case, short names, "Z:" against "C:" under
// Wine, "\\?\" or not. When either cannot be opened, the full paths are
// compared without regard to case instead.
bool same_file(const WideString& a, const WideString& b);
