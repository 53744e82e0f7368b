// Compiled into each executable. TESSAVIN_VERSION_OVERRIDE is empty except
// in test builds that play a newer release.
#include "service/version.h"

const char* const kServiceVersion =
    TESSAVIN_VERSION_OVERRIDE[0] != '\0' ? TESSAVIN_VERSION_OVERRIDE : kReleaseVersion;
