#pragma once
// A shared library opened at run time, for the optional system libraries the
// service needs only now and then: the start stays small, and a machine
// without one still serves everything else.
#include <dlfcn.h>

// The library `name` (looked up as the dynamic loader does), or nullptr when
// it cannot be opened.
void* open_shared_library(const char* name);
void close_shared_library(void* handle);

// Fills `slot` with the function `symbol` of `handle`; false when it has none.
template <class Function>
bool resolve_function(void* handle, const char* symbol, Function& slot) {
  void* address = dlsym(handle, symbol);
  if (address == nullptr) return false;
  slot = reinterpret_cast<Function>(address);
  return true;
}
