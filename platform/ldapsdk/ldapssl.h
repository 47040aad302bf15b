// The directory SDK's SSL extension: LDAP over SSL with trust on first use of
// the server certificate through a verify callback.
//
// One process-wide SSL state, set up by ldapssl_client_init and released by
// ldapssl_client_deinit. Handles made by ldapssl_init are ordinary libldap
// handles for the standard calls. The TLS handshake runs whenever libldap
// connects such a handle (on its first operation, and again after the
// connection was lost), before any request is sent on the connection.
//
// During the handshake the presented leaf certificate is checked:
//   - with a trust file, or a certificate added by ldapssl_add_trusted_cert,
//     the certificate must equal a trusted one byte for byte; the verify
//     callback is not called;
//   - without any trusted certificate, the verify callback decides: 0
//     accepts, any other value aborts the handshake; with no callback either,
//     the certificate is refused.
// A refused certificate makes the operation fail with LDAP_SERVER_DOWN and the
// handle's LDAP_OPT_DIAGNOSTIC_MESSAGE set to LDAPSSL_CERT_REFUSED_MESSAGE;
// the operation's request never reaches that server. Any other failed
// handshake (the port does not speak TLS, or no handshake within the handle's
// LDAP_OPT_NETWORK_TIMEOUT, 10 seconds when that is not set) also fails the
// operation with LDAP_SERVER_DOWN, with another diagnostic message.
#ifndef LDAPSSL_H_
#define LDAPSSL_H_

#include <ldap.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LDAPSSL_CERT_ATTR_ISSUER 1
#define LDAPSSL_CERT_ATTR_SUBJECT 2
#define LDAPSSL_CERT_ATTR_VALIDITY_PERIOD 3

// Certificate type: the DER encoding.
#define LDAPSSL_CERT_BINARY_DER 4

#define LDAPSSL_CERT_REFUSED_MESSAGE "Error in the certificate."

// A certificate as handed out and taken back: length, then the bytes.
typedef struct LDAPSSL_Cert {
  uint64_t length;
  unsigned char* data;
} LDAPSSL_Cert;

// The certificate presented by the server, valid during the callback only.
typedef struct LDAPSSL_CertHandle LDAPSSL_CertHandle;

typedef int (*LDAPSSL_VerifyCallback)(LDAPSSL_CertHandle* cert);

// Reads `trustFile` (DER) as the trusted certificate when given; it is opened
// without blocking and read only when it is a regular file. `reserved` must
// be NULL. Returns 0, or an LDAP result code (LDAP_LOCAL_ERROR for a trust
// file that cannot be read, is not a regular file or holds no certificate);
// on failure an earlier state stays.
int ldapssl_client_init(const char* trustFile, void* reserved);

// Installs the callback for certificates that are not trusted yet. Returns 0.
int ldapssl_set_verify_callback(LDAPSSL_VerifyCallback callback);

// Makes a handle for LDAP over SSL to host:port (protocol version 3); an
// IPv6 literal may be given with or without its brackets. `secure` must be 1.
// Returns NULL when the SSL state is not set up or the handle cannot be made.
LDAP* ldapssl_init(const char* host, int port, int secure);

// Releases the SSL state and every trusted certificate. Returns 0.
int ldapssl_client_deinit(void);

// Reads the issuer or subject (RFC 2253 text, UTF-8: "CN=host,O=corp") or
// the validity period ("notBefore - notAfter", each like "Jan  1 00:00:00 2026
// GMT") of `cert`. With `buffer` NULL, sets *length to the text's
// length without its NUL. Otherwise copies at most *length bytes and a NUL
// (the buffer must hold *length + 1 bytes) and sets *length to the bytes
// copied (fewer when the limit falls inside a UTF-8 character). Returns 0, or
// an LDAP result code.
int ldapssl_get_cert_attribute(LDAPSSL_CertHandle* cert, int attribute, char* buffer,
                               uint32_t* length);

// With out->data NULL, sets out->length to the size of the DER encoding;
// otherwise copies it into out->data, which holds out->length bytes, and sets
// out->length to its size. `type` must be LDAPSSL_CERT_BINARY_DER. Returns 0,
// LDAP_SIZELIMIT_EXCEEDED when out->length is below the size (nothing is
// copied), or another LDAP result code.
int ldapssl_get_cert(LDAPSSL_CertHandle* cert, int type, LDAPSSL_Cert* out);

// Trusts `cert` (a copy is kept) for the rest of the SSL state's life.
// Returns 0, or an LDAP result code.
int ldapssl_add_trusted_cert(const LDAPSSL_Cert* cert, int type);

#ifdef __cplusplus
}
#endif

#endif  // LDAPSSL_H_
