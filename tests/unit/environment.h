#pragma once
// Sets an environment variable of this process the way the platform's own
// lookups see it; nullptr removes it. Defined per platform.
void set_environment(const char* name, const char* value);
