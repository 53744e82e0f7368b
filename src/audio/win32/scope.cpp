#include <windows.h>
// windows.h first: objbase.h relies on its definitions.
#include <objbase.h>

#include "audio/binding.h"

namespace native_audio {

// A single-threaded apartment; S_FALSE (already initialised on this thread)
// also counts as taken and is balanced by its own uninitialise.
bool initialise_thread() { return SUCCEEDED(CoInitialize(nullptr)); }

void uninitialise_thread() { CoUninitialize(); }

}  // namespace native_audio
