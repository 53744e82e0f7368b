#pragma once
#include "text/strings.h"

// The base directory (the executable's) and the data directory inside it.
// Written once at start-up before any other thread exists, read-only after.
const WideString& base_directory();
const WideString& data_directory();
void set_service_directories(const WideString& base);

// `directory` + the platform's separator + `name`.
WideString join_path(const WideString& directory, const WideString& name);

// The directory part of the executable's path, "." when there is none.
WideString module_directory();

// True when `directory` is an existing directory; otherwise tries to create
// that one level (not its parents) and says whether that worked.
bool ensure_directory(const WideString& directory);
