// The -k command: fetches and stores the directory server's certificate
// again.
#ifndef KIVCONFIG_DIRECTORY_CERTIFICATE_FETCH_H_
#define KIVCONFIG_DIRECTORY_CERTIFICATE_FETCH_H_

#include <string>

// Connects over SSL, and never in clear text, to the stored server with the
// stored admin's name, capturing and storing the certificate the server
// presents. Returns 0 only when the certificate file was written, with
// `details` holding the lines to show after the success message: the SHA-256
// fingerprint of what was stored, or, when it replaced a different
// certificate, the old and the new fingerprint. Otherwise a result code.
int fetchServerCertificate(std::string& details);

#endif  // KIVCONFIG_DIRECTORY_CERTIFICATE_FETCH_H_
