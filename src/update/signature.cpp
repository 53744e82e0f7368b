#include "update/signature.h"

#include "text/hex.h"
#include "update/update_ops.h"

namespace {

// Exactly 2 * N hex digits into N bytes; false for anything else.
template <std::size_t N>
bool from_hex(const Utf8String& text, unsigned char (&bytes)[N]) {
  if (text.size() != 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    const int high = hex_value(text[2 * i]);
    const int low = hex_value(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return true;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

Utf8String signed_release_text(const Utf8String& platform, const Utf8String& version,
                               const Utf8String& digest) {
  Utf8String text = "TessavinServer\n" + platform + "\n" + version + "\n";
  for (const char c : digest) text += lower(c);
  text += '\n';
  return text;
}

SignatureCheck check_release_signature(const Utf8String& public_key, const Utf8String& platform,
                                       const Utf8String& version, const Utf8String& digest,
                                       const Utf8String& signature) {
  if (signature.empty()) return SignatureCheck::missing;
  unsigned char raw_signature[kP256SignatureSize];
  unsigned char raw_digest[kSha256Size];
  if (!from_hex(signature, raw_signature) || !from_hex(digest, raw_digest)) {
    return SignatureCheck::malformed;
  }
  unsigned char key[kP256KeySize];
  unsigned char text_digest[kSha256Size];
  const UpdateOps& ops = update_ops();
  if (!from_hex(public_key, key) ||
      !ops.sha256(signed_release_text(platform, version, digest), text_digest) ||
      !ops.verify_p256(key, text_digest, raw_signature)) {
    return SignatureCheck::wrong;
  }
  return SignatureCheck::valid;
}
