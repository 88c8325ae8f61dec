// Adds a DER certificate to the local-machine ROOT store of the Wine prefix, so
// that WinHTTP verifies the local test CDN's chain without any ignore flag.
#include <windows.h>
#include <wincrypt.h>
#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_ca <certificate.der>\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "trust_ca: cannot open the certificate\n");
        return 1;
    }
    std::vector<BYTE> der(GetFileSize(file, nullptr));
    DWORD read = 0;
    const BOOL ok = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != der.size()) {
        std::fprintf(stderr, "trust_ca: cannot read the certificate\n");
        return 1;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (!store) {
        std::fprintf(stderr, "trust_ca: cannot open the ROOT store\n");
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "trust_ca: the store refused the certificate\n");
        return 1;
    }
    return 0;
}
