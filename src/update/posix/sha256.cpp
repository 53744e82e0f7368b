// SHA-256 through OpenSSL.
#include <openssl/evp.h>

#include "update/binding.h"

bool native_update::sha256(const Utf8String& data, unsigned char (&digest)[kSha256Size]) {
  unsigned int length = 0;
  return EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) == 1 &&
         length == kSha256Size;
}
