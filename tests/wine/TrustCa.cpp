// Makes a Wine prefix trust a test CA: adds the certificate (a PEM file) to the prefix's own machine-wide
// Root store, the one WinHTTP and XMLHTTP build their chains against. Touches nothing outside the prefix.
//
//   quillon-trust-ca.exe CA.pem      exit 0 when the certificate is in the store
#include "platform/windows/WindowsSupport.h"

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool readFile(const wchar_t* path, std::string& bytes) {
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return false;
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, count);
  std::fclose(file);
  return true;
}

int fail(const char* what) {
  std::fprintf(stderr, "quillon-trust-ca: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillon-trust-ca CA.pem\n");
    return 2;
  }
  std::string pem;
  if (!readFile(argv[1], pem)) return fail("reading the certificate");

  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    return fail("decoding the certificate");
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
    return fail("decoding the certificate");
  }

  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (store == nullptr) return fail("opening the Root store");
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added ? 0 : fail("adding the certificate");
}
