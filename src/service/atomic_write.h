#pragma once
#include "text/strings.h"

// Replaces the file at `file_path` with `bytes` through a temporary file
// beside it and a replacing move, serialised with every other atomic write of
// the process; a move that fails is retried for about half a second. True
// when the target now holds exactly `bytes`; otherwise the target keeps its
// old content and no temporary file is left behind.
bool write_file_atomic(const WideString& file_path, const Utf8String& bytes);
