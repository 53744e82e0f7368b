// ECDSA P-256 verification through CNG, which takes the signature as r and s
// side by side, just as the manifest carries it.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "update/binding.h"

bool native_update::verify_p256(const unsigned char (&key)[kP256KeySize],
                                const unsigned char (&digest)[kSha256Size],
                                const unsigned char (&signature)[kP256SignatureSize]) {
  if (key[0] != 0x04) return false;  // only the uncompressed form is ever compiled in
  constexpr ULONG kCoordinate = 32;
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinate];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinate};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key + 1, 2 * kCoordinate);

  BCRYPT_ALG_HANDLE provider = nullptr;
  if (BCryptOpenAlgorithmProvider(&provider, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) {
    return false;
  }
  BCRYPT_KEY_HANDLE handle = nullptr;
  bool valid = BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob,
                                   sizeof blob, 0) == 0;
  valid = valid && BCryptVerifySignature(handle, nullptr, const_cast<PUCHAR>(digest), kSha256Size,
                                         const_cast<PUCHAR>(signature), kP256SignatureSize, 0) == 0;
  if (handle) BCryptDestroyKey(handle);
  BCryptCloseAlgorithmProvider(provider, 0);
  return valid;
}
