// The certificate handle that the verify callback receives, and the text
// forms of its fields.
//
// A handle owns a copy of the peer's leaf certificate (DER) and lives only as
// long as the check that made it. Issuer and subject are given in RFC 2253
// form ("CN=127.0.0.1,O=corp"); the validity period as "notBefore -
// notAfter", each in OpenSSL's GMT form ("Dec  6 07:20:03 2026 GMT").
#ifndef LDAPSDK_LDAPSSL_CERT_H_
#define LDAPSDK_LDAPSSL_CERT_H_

#include <string>
#include <vector>

#include "ldapssl.h"

struct LDAPSSL_CertHandle {
  std::vector<unsigned char> der;
};

// Sets *text to the attribute's text form (LDAPSSL_CERT_ATTR_*). Returns 0,
// LDAP_PARAM_ERROR for an unknown attribute, or LDAP_DECODING_ERROR when the
// certificate cannot be read.
int certAttributeText(const std::vector<unsigned char>& der, int attribute, std::string* text);

#endif  // LDAPSDK_LDAPSSL_CERT_H_
