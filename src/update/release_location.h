#pragma once
// Where the self-update looks for releases. Fixed when the service is built
// (CMake cache variables), so each build carries its own; there is no
// runtime setting.

// The release manifest, an asset of the release tagged "build-latest".
extern const char* const kManifestUrl;
// Download proxies tried before the release host, in this order. Each takes
// the whole target URL, scheme included, as its path.
inline constexpr int kProxyCount = 3;
extern const char* const kProxyPrefixes[kProxyCount];
// An extra certificate file that https may be verified against; empty except
// in test builds that speak to a local server.
extern const char* const kExtraTrustFile;
// The release public key (see UpdateOps::release_public_key); empty in
// development builds.
extern const char* const kReleasePublicKey;
// Whether this build, having no key, installs unsigned releases from
// loopback (see UpdateOps::unsigned_test_updates). CMake sets it only for
// test builds whose release host and proxies are all on loopback.
extern const bool kUnsignedTestUpdates;
// What the self-update of this build may install, as one line a script can
// look for in the executable: "tessavin-self-update: signed",
// "... unverified" (no key: it never installs) or "... unsigned-test".
extern const char kSelfUpdateKind[];
