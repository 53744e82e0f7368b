// Compiled into each executable with that build's settings, passed in by
// CMake as string definitions.
#include "update/release_location.h"

const char* const kManifestUrl = TESSAVIN_MANIFEST_URL;
const char* const kProxyPrefixes[kProxyCount] = {TESSAVIN_PROXY_1, TESSAVIN_PROXY_2,
                                                 TESSAVIN_PROXY_3};
const char* const kExtraTrustFile = TESSAVIN_EXTRA_TRUST_FILE;
const char* const kReleasePublicKey = TESSAVIN_RELEASE_PUBLIC_KEY;
const bool kUnsignedTestUpdates = TESSAVIN_UNSIGNED_TEST_UPDATES;
const char kSelfUpdateKind[] = TESSAVIN_SELF_UPDATE_KIND;
