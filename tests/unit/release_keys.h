#pragma once
// Two ECDSA P-256 test keys (public points only) and signatures openssl made
// with their private keys, through scripts/tools/release-manifest, over the
// release text of version 1.6.0 and the digest of "MZ new build".
#include "text/strings.h"

namespace test_keys {

inline const Utf8String kPackage = "MZ new build";
inline const Utf8String kDigest =
    "3b22041e0660c5d2aecc4e6f2e2e04306ab34c5e3f86a011cc103eb2a7153477";

inline const Utf8String kPublicKeyA =
    "047527a1391ace6070912b7b3593f72c4874be81c80964e7045d3183fe1a64d6a37305c45fd888dd357d0d2c5e1c5e"
    "8acd"
    "6667d116a68981770e9a52f2f45eff6c";
inline const Utf8String kSignatureA =
    "30712bcd7a612b27be14c2d6cac6b4159aa2f38555cb7e1e7a862a9a5ecd0045166db5ad8092f96b5cb1637d4782ca"
    "a2"
    "092d9af496c9c98de9ac9d3acf7ad402";

inline const Utf8String kPublicKeyB =
    "0416eb136191e36847e8cbf2155b5de8481d3a2e2fac1cfca32a9892c5aa0f629644a6eb892dbbc9b63f6517257aa5"
    "f93d"
    "bd99a348e13442c86dc5bc144f87acc3";
inline const Utf8String kSignatureB =
    "591f48a468bfab0610cd8d84ed2db944ad7497286c19a51f2a208d42cbb8efeefa4c1305885eafcb0a5f9f755fb054"
    "af"
    "057002c783e7bba4efeb4b1661947df5";

}  // namespace test_keys
