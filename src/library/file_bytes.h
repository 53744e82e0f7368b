#pragma once
// A whole small file of a listed kind, read through the platform seam.
#include <cstddef>
#include <string>

#include "text/strings.h"

// False when the file cannot be opened or read, or holds more than `limit`
// bytes.
bool read_listed_bytes(const WideString& full_path, std::size_t limit, std::string& bytes);

// The file opens for reading and is of a listed kind.
bool listed_file_exists(const WideString& full_path);

// The path up to its last separator, and the name after it.
WideString parent_of(const WideString& full_path);
WideString name_of(const WideString& full_path);
