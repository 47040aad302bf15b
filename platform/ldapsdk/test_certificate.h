// Test support: self-signed certificates made in memory.
#ifndef LDAPSDK_TEST_CERTIFICATE_H_
#define LDAPSDK_TEST_CERTIFICATE_H_

#include <string>
#include <vector>

// DER bytes of a new self-signed certificate whose subject and issuer are
// O=`organization`, CN=`commonName` (UTF-8), valid from 2026-01-01 00:00:00
// to 2027-01-01 00:00:00 GMT. Empty when OpenSSL fails.
std::vector<unsigned char> makeSelfSignedDer(const std::string& organization,
                                             const std::string& commonName);

#endif  // LDAPSDK_TEST_CERTIFICATE_H_
