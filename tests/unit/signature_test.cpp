#include "update/signature.h"

#include <gtest/gtest.h>

#include "fake_update.h"
#include "release_keys.h"

namespace {

using test_keys::kDigest;

TEST(SignedReleaseText, IsProductPlatformVersionAndLowerCaseDigestOnLinesOfTheirOwn) {
  EXPECT_EQ(signed_release_text("windows-x86_64", "1.6.0", "3B22041E0660c5d2"),
            "TessavinServer\nwindows-x86_64\n1.6.0\n3b22041e0660c5d2\n");
  EXPECT_EQ(signed_release_text("linux-x86_64", "1.6.0", "Ab"),
            "TessavinServer\nlinux-x86_64\n1.6.0\nab\n");
  EXPECT_EQ(signed_release_text("", "", ""), "TessavinServer\n\n\n\n");
  // The version goes in as it stands: no trimming, non-ASCII kept.
  EXPECT_EQ(signed_release_text("linux-x86_64", " 版本 2\n", "Ab"),
            "TessavinServer\nlinux-x86_64\n 版本 2\n\nab\n");
}

// Each case against the platform's own ECDSA (OpenSSL on Linux, CNG on
// Windows), with signatures openssl made for this key.
TEST(CheckReleaseSignature, ValidOnlyForTheSignedTextUnderTheKey) {
  UpdateOverride update;
  Utf8String flipped = test_keys::kSignatureA;
  flipped[5] = flipped[5] == '0' ? '1' : '0';
  Utf8String upper_digest = kDigest;
  for (char& c : upper_digest) c = static_cast<char>(std::toupper(c));
  Utf8String upper_signature = test_keys::kSignatureA;
  for (char& c : upper_signature) c = static_cast<char>(std::toupper(c));
  Utf8String off_curve = test_keys::kPublicKeyA;
  off_curve.back() = off_curve.back() == '0' ? '1' : '0';

  const struct {
    const char* what;
    Utf8String key, version, digest, signature;
    SignatureCheck result;
    const char* platform = "linux-x86_64";
  } cases[] = {
      {"valid", test_keys::kPublicKeyA, "1.6.0", kDigest, test_keys::kSignatureA,
       SignatureCheck::valid},
      {"signature in upper case", test_keys::kPublicKeyA, "1.6.0", kDigest, upper_signature,
       SignatureCheck::valid},
      {"digest in upper case", test_keys::kPublicKeyA, "1.6.0", upper_digest,
       test_keys::kSignatureA, SignatureCheck::valid},
      {"signature missing", test_keys::kPublicKeyA, "1.6.0", kDigest, "", SignatureCheck::missing},
      {"signature not hex", test_keys::kPublicKeyA, "1.6.0", kDigest,
       "zz" + test_keys::kSignatureA.substr(2), SignatureCheck::malformed},
      {"signature one digit short", test_keys::kPublicKeyA, "1.6.0", kDigest,
       test_keys::kSignatureA.substr(1), SignatureCheck::malformed},
      {"signature in base64", test_keys::kPublicKeyA, "1.6.0", kDigest,
       "MEUCIQDx3Bh1fLfYk7dM0c2s5Q==", SignatureCheck::malformed},
      {"digest of 63 digits", test_keys::kPublicKeyA, "1.6.0", kDigest.substr(1),
       test_keys::kSignatureA, SignatureCheck::malformed},
      {"signed with another key", test_keys::kPublicKeyA, "1.6.0", kDigest, test_keys::kSignatureB,
       SignatureCheck::wrong},
      {"version changed after signing", test_keys::kPublicKeyA, "1.6.1", kDigest,
       test_keys::kSignatureA, SignatureCheck::wrong},
      {"version with a trailing space", test_keys::kPublicKeyA, "1.6.0 ", kDigest,
       test_keys::kSignatureA, SignatureCheck::wrong},
      {"digest changed after signing", test_keys::kPublicKeyA, "1.6.0", Utf8String(64, '0'),
       test_keys::kSignatureA, SignatureCheck::wrong},
      {"one bit of the signature changed", test_keys::kPublicKeyA, "1.6.0", kDigest, flipped,
       SignatureCheck::wrong},
      {"key that is no point of the curve", off_curve, "1.6.0", kDigest, test_keys::kSignatureA,
       SignatureCheck::wrong},
      {"no key", "", "1.6.0", kDigest, test_keys::kSignatureA, SignatureCheck::wrong},
      {"signed for Linux, checked for Windows", test_keys::kPublicKeyA, "1.6.0", kDigest,
       test_keys::kSignatureA, SignatureCheck::wrong, "windows-x86_64"},
      {"signed for Windows, checked for Linux", test_keys::kPublicKeyA, "1.6.0", kDigest,
       test_keys::kSignatureAForWindows, SignatureCheck::wrong},
      {"signed for Windows, checked for Windows", test_keys::kPublicKeyA, "1.6.0", kDigest,
       test_keys::kSignatureAForWindows, SignatureCheck::valid, "windows-x86_64"},
      {"no platform", test_keys::kPublicKeyA, "1.6.0", kDigest, test_keys::kSignatureA,
       SignatureCheck::wrong, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check_release_signature(c.key, c.platform, c.version, c.digest, c.signature),
              c.result)
        << c.what;
  }
  // The other key's own signature holds under that key.
  EXPECT_EQ(check_release_signature(test_keys::kPublicKeyB, "linux-x86_64", "1.6.0", kDigest,
                                    test_keys::kSignatureB),
            SignatureCheck::valid);
}

TEST(CheckReleaseSignature, AHashThatCannotBeComputedIsNoValidSignature) {
  UpdateOverride update;
  fake_update().hash_works = false;
  EXPECT_EQ(check_release_signature(test_keys::kPublicKeyA, "linux-x86_64", "1.6.0", kDigest,
                                    test_keys::kSignatureA),
            SignatureCheck::wrong);
}

}  // namespace
