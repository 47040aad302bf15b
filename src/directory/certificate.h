// Trust on first use of the directory server's certificate.
//
// During the SSL negotiation the SDK calls verifyServerCertificate, which
// checks that the presented certificate can be read, keeps a copy of it (the
// captured certificate) and trusts it for the process. After a successful
// bind the session writes the copy to the server's certificate file, which
// later connections use as their trust file.
#ifndef KIVCONFIG_DIRECTORY_CERTIFICATE_H_
#define KIVCONFIG_DIRECTORY_CERTIFICATE_H_

#include <cstddef>
#include <string>

#include "base/host.h"
#include "ldapssl.h"

// The SDK's verify callback: 0 accepts the certificate, -1 rejects it.
int verifyServerCertificate(LDAPSSL_CertHandle* certificate);

bool hasCapturedCertificate();
void releaseCapturedCertificate();

// Why the verify callback last rejected a certificate, for the log; empty
// when it did not. Clears it.
std::string takeCertificateRejection();

// Replaces `path` with the captured certificate of `server`: a temporary file beside it
// (mode 0644), fsync, rename, so a failure leaves the old file and a link
// planted at the name is replaced, never followed. The directory is synced
// after the rename. Logs the certificate's SHA-256 fingerprint and hands it
// out in `fingerprint`. Returns 0, -6022 when the file cannot be created or
// -6023 when it cannot be written whole.
int writeCapturedCertificate(Host& host, const std::string& server, const std::string& path,
                             std::string& fingerprint);

// "AB:01:..." in upper-case hexadecimal; empty when the digest fails.
std::string sha256Fingerprint(const unsigned char* bytes, size_t length);

// Prints and logs that -k received no certificate and stored nothing;
// returns -5999.
int reportNoCertificateReceived(Host& host);

#endif  // KIVCONFIG_DIRECTORY_CERTIFICATE_H_
