#pragma once
// Release signatures: which bytes a release signature covers, and whether a
// manifest entry's signature holds under the build's release key. The
// cryptography itself is the platform's (UpdateOps::verify_p256).
#include "text/strings.h"

// The exact bytes signed for a release: "TessavinServer", LF, the platform
// ("windows-x86_64" or "linux-x86_64"), LF, the version as the manifest gives
// it (unescaped), LF, the digest with ASCII letters in lower case, LF. The
// platform line is what keeps one platform's release from installing on the
// other.
Utf8String signed_release_text(const Utf8String& platform, const Utf8String& version,
                               const Utf8String& digest);

enum class SignatureCheck {
  valid,
  missing,    // no signature, or an empty one
  malformed,  // not 128 hex digits, or the digest is not 64 hex digits
  wrong,      // does not hold under the key: another key, or other text signed
};

// Checks `signature` (r then s, 128 hex digits in either case) over the text
// of `platform`, `version` and `digest` against `public_key` (130 hex digits
// of the uncompressed point). A key that is not 130 hex digits makes every
// signature wrong.
SignatureCheck check_release_signature(const Utf8String& public_key, const Utf8String& platform,
                                       const Utf8String& version, const Utf8String& digest,
                                       const Utf8String& signature);
