// Adds a DER certificate to the LocalMachine ROOT store of the current Wine prefix, so the
// test service's TLS is trusted there and nowhere else.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca CERT.der\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<char> der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (der.empty()) {
    std::fprintf(stderr, "trust_ca: cannot read the certificate\n");
    return 1;
  }
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (store == nullptr) {
    std::fprintf(stderr, "trust_ca: CertOpenStore failed: %lu\n", ::GetLastError());
    return 1;
  }
  const BOOL added =
      ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = ::GetLastError();
  ::CertCloseStore(store, 0);
  if (!added) {
    std::fprintf(stderr, "trust_ca: CertAddEncodedCertificateToStore failed: %lu\n", error);
    return 1;
  }
  return 0;
}
