#include "service/posix/shared_library.h"

// Symbols resolved now, so that a library that cannot be linked fails here
// rather than at its first call; kept to itself, so that nothing loaded later
// binds to it by accident.
void* open_shared_library(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }

void close_shared_library(void* handle) {
  if (handle != nullptr) dlclose(handle);
}
