// SHA-256 through CNG.
#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "update/binding.h"

bool native_update::sha256(const Utf8String& data, unsigned char (&digest)[kSha256Size]) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
    return false;
  }
  DWORD object_length = 0;
  DWORD digest_length = 0;
  ULONG got = 0;
  if (BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&object_length),
                        sizeof object_length, &got, 0) != 0 ||
      BCryptGetProperty(provider, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&digest_length),
                        sizeof digest_length, &got, 0) != 0 ||
      object_length == 0 || digest_length != kSha256Size) {
    BCryptCloseAlgorithmProvider(provider, 0);
    return false;
  }
  std::vector<UCHAR> object(object_length, 0);
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptCreateHash(provider, &hash, object.data(), object_length, nullptr, 0, 0) == 0;
  // One call takes at most 4 GiB; release files are far below that.
  ok = ok && BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                            static_cast<ULONG>(data.size()), 0) == 0;
  ok = ok && BCryptFinishHash(hash, digest, kSha256Size, 0) == 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(provider, 0);
  return ok;
}
