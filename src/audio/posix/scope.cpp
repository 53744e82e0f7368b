#include "audio/binding.h"

namespace native_audio {

// The sound server's client library needs no per-thread set-up.
bool initialise_thread() { return true; }

void uninitialise_thread() {}

}  // namespace native_audio
