#pragma once
// Windows path syntax, turned into the form the file system takes literally.
#include "text/strings.h"

// The "\\?\" form of `path` ("\\?\UNC\server\share\..." for a "\\server\share"
// path): absolute, backslashes only, "." and ".." segments and repeated
// separators resolved here, since the prefix turns that resolution off.
// Everything else is kept as written, trailing dots and spaces included, so
// that names such as "CON" or "x." reach the disk as ordinary names and the
// length limit of plain paths does not apply. A relative path is taken
// against `current_directory`, which must be absolute; when it is not, such
// a path is returned unchanged. Paths already in a device form ("\\?\",
// "\\.\", "\??\") are returned unchanged.
WideString extended_length_path(const WideString& path, const WideString& current_directory);
