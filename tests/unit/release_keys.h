#pragma once
// Two ECDSA P-256 test keys (public points only) and signatures openssl made
// with their private keys, through scripts/tools/release-manifest --any-file,
// over release texts of the packages below. The packages start with just the
// header the self-update checks: ELF x86-64 for Linux, PE x86-64 for the exe.
#include "text/strings.h"

namespace test_keys {

// The 64-byte ELF header of an x86-64 shared object, and a PE image's MZ stub
// pointing at a "PE\0\0" header for x86-64 with a PE32+ optional header.
inline const Utf8String kElfHeader = Utf8String("\177ELF\2\1\1", 7) + Utf8String(9, '\0') +
                                     Utf8String("\x03\0\x3e\0", 4) + Utf8String(44, '\0');
inline const Utf8String kPeHeader = "MZ" + Utf8String(58, '\0') +
                                    Utf8String("\x40\0\0\0PE\0\0\x64\x86", 10) +
                                    Utf8String(18, '\0') + Utf8String("\x0b\x02", 2);

// Release 1.6.0 for each platform, and a 1.7.0 for Linux.
inline const Utf8String kPackage = kElfHeader + "new build";
inline const Utf8String kWindowsPackage = kPeHeader + "new build";
inline const Utf8String kNewerPackage = kElfHeader + "newer build";

inline const Utf8String kDigest =
    "9a53ae6885427a24f235afe7c05d02e91f317ec53f4b6551c5a83ec2c807513f";
inline const Utf8String kWindowsDigest =
    "015130c1718464f56ef9b6f185876f25e0f40505b905a81555f6461ee3febc92";
inline const Utf8String kNewerDigest =
    "ba09bdfc96c4213096738f61d663dbc0c59d3f4bf12be4c09c4a05b74d3d4e85";

inline const Utf8String kPublicKeyA =
    "0481037d8cb6ae1b94784542a45b09cc003627130eb176ce05d74d25d1644208ad85f136abc0311a9b644eed8bab05"
    "64"
    "858a1b9ba0a93219ffbdc9663db8c967bc";
inline const Utf8String kPublicKeyB =
    "044a47d13c1717575457d6a2381fffd8211050936e2c934e5e7974ab05e5d4a1acd486f5def2b209c554386575ab65"
    "9f"
    "4b7cf4569c13eaf2c737898a32f01f51d6";

// linux-x86_64, 1.6.0, kDigest: with key A, and with key B.
inline const Utf8String kSignatureA =
    "5fc57293b736dc150dfa972706082110e209fe4e8fc36cfc3a2b4f15b9473bbd1d4905f2a92a28c3f1757a51d84d45"
    "e0"
    "7ef73e1853d4bfceb7600b36d61373b8";
inline const Utf8String kSignatureB =
    "d8005bd72ac4eff42a92b0cb93fbe2bbe950c6d82f41903f3c2631400a9dcac6c8f0377ba981691fcf90fac8aa71c3"
    "d1"
    "f3b2f19f35664592a9e5d89863dd24dd";
// Key A over the same version and digest, but for windows-x86_64.
inline const Utf8String kSignatureAForWindows =
    "60e56a426b37e35676d1ab2898c9741f4c7b5909281c2e8521b92d5611219d8329a25e0b261cd448af3825fd466dac"
    "12"
    "c3849de02359c761eb4838789963c5dc";
// Key A, windows-x86_64, 1.6.0, kWindowsDigest.
inline const Utf8String kWindowsSignatureA =
    "dbf5914a62b42a4c555ca6b77330025fddaf57d47de8cb020fc657511726f772e0b48ec9af939498e7482424ffd399"
    "21"
    "5ae42acb87a15324cc4d71d6b91d35c3";
// Key A, linux-x86_64, 1.6.0, kWindowsDigest: a PE file signed for Linux.
inline const Utf8String kWrongHeaderSignatureA =
    "d1aba4e48670434fc033d2296c0ee768df1a4d259bd9fd32c60ecdd264e3255f17615595ec79fe445c3b499b9ec66e"
    "1a"
    "d2590be5150a95299f72603554d20f5b";
// Key A, linux-x86_64: 1.7.0 with kNewerDigest, and 1.5.0 with kDigest.
inline const Utf8String kNewerSignatureA =
    "3b9233bf9d1a27e59555c966f1a99778e720dcb73ae19adefa604d24c1f9457dd047e3451427c6934fd27020df0f10"
    "79"
    "e6279383a12e7f6354754c7d3a021aaf";
inline const Utf8String kOlderSignatureA =
    "d8901c9a07d4e8d3832d9b10012d2ee552001f92c28f042aafd6d0a43b7d5720f659bd3cb4d527615c71dbc51f59f0"
    "e5"
    "ba6f67a4287fb125c61380777b88e3fe";

}  // namespace test_keys
