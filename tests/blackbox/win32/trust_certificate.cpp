// Adds a PEM certificate to the machine's root store of the Windows it runs
// in. The round trip runs it in its own throwaway Wine prefix, so that
// WinHTTP there trusts the release host on loopback; nothing outside that
// prefix changes.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  FILE* file = _wfopen(argv[1], L"rb");
  if (file == nullptr) return 1;
  std::vector<char> pem(1 << 16);
  const size_t length = std::fread(pem.data(), 1, pem.size(), file);
  std::fclose(file);

  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(length), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    return 1;
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(length), CRYPT_STRING_BASE64HEADER,
                            der.data(), &size, nullptr, nullptr)) {
    return 1;
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (store == nullptr) return 1;
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added ? 0 : 1;
}
