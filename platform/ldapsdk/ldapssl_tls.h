// TLS on a connection that libldap has just opened, run from libldap's
// connection callback before libldap writes anything on it.
#ifndef LDAPSDK_LDAPSSL_TLS_H_
#define LDAPSDK_LDAPSSL_TLS_H_

#include <lber.h>

#include <cstddef>
#include <string>

// Judges the server's leaf certificate (DER) inside the handshake; 0 accepts.
using CertificateCheck = int (*)(const unsigned char* der, size_t size);

enum class TlsStart { kEstablished, kCertificateRefused, kFailed };

// Runs the client handshake on the socket of `sb` (SNI `serverName` unless it
// is an IP literal), giving up after `timeoutMs`. When it succeeds, installs
// the TLS layer through which libldap then reads and writes; otherwise sets
// *failure to the reason and leaves `sb` as it was.
TlsStart startTls(Sockbuf* sb, const char* serverName, unsigned int timeoutMs,
                  CertificateCheck check, std::string* failure);

#endif  // LDAPSDK_LDAPSSL_TLS_H_
