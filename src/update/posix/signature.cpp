// ECDSA P-256 verification through OpenSSL. The signature arrives as r and s
// side by side; OpenSSL wants it DER-encoded, which its own ECDSA_SIG
// functions do.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

#include "update/binding.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Context = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using Signature = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

Key public_key(const unsigned char (&point)[kP256KeySize]) {
  char group[] = "prime256v1";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<unsigned char*>(point),
                                        kP256KeySize),
      OSSL_PARAM_construct_end(),
  };
  const Context context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY,
                        const_cast<OSSL_PARAM*>(params)) != 1) {
    return nullptr;
  }
  return Key(key);
}

}  // namespace

bool native_update::verify_p256(const unsigned char (&key)[kP256KeySize],
                                const unsigned char (&digest)[kSha256Size],
                                const unsigned char (&signature)[kP256SignatureSize]) {
  const Key pkey = public_key(key);
  if (!pkey) return false;
  // fromdata takes any octets; only a check makes sure they are on the curve.
  const Context check(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
  if (!check || EVP_PKEY_public_check(check.get()) != 1) return false;

  Signature sig(ECDSA_SIG_new());
  if (!sig) return false;
  BIGNUM* r = BN_bin2bn(signature, 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature + 32, 32, nullptr);
  if (!r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int der_length = i2d_ECDSA_SIG(sig.get(), &der);
  if (der_length <= 0) return false;

  const Context verify(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
  const bool valid = verify && EVP_PKEY_verify_init(verify.get()) == 1 &&
                     EVP_PKEY_CTX_set_signature_md(verify.get(), EVP_sha256()) == 1 &&
                     EVP_PKEY_verify(verify.get(), der, static_cast<std::size_t>(der_length),
                                     digest, kSha256Size) == 1;
  OPENSSL_free(der);
  return valid;
}
