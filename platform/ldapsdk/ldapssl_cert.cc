// Certificate fields for the verify callback, read with OpenSSL from the DER
// bytes that the handshake presented.
#include "ldapssl_cert.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

X509Ptr parseDer(const std::vector<unsigned char>& der) {
  const unsigned char* cursor = der.data();
  X509Ptr cert(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  if (cert && cursor != der.data() + der.size()) {
    cert.reset();  // trailing bytes: not one certificate
  }
  return cert;
}

bool takeBioText(BIO* bio, std::string* text) {
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  if (size < 0) {
    return false;
  }
  text->assign(data, static_cast<size_t>(size));
  return true;
}

// RFC 2253 form, but with UTF-8 kept as UTF-8 rather than escaped as \XX.
bool nameText(const X509_NAME* name, std::string* text) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || name == nullptr) {
    return false;
  }
  const unsigned long flags = XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB;
  if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) {
    return false;
  }
  return takeBioText(bio.get(), text);
}

bool validityText(const X509* cert, std::string* text) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio) {
    return false;
  }
  if (ASN1_TIME_print(bio.get(), X509_get0_notBefore(cert)) != 1 ||
      BIO_puts(bio.get(), " - ") != 3 ||
      ASN1_TIME_print(bio.get(), X509_get0_notAfter(cert)) != 1) {
    return false;
  }
  return takeBioText(bio.get(), text);
}

// The longest prefix of `text` of at most `limit` bytes that does not end
// inside a UTF-8 sequence.
size_t utf8PrefixLength(const std::string& text, size_t limit) {
  if (limit >= text.size()) {
    return text.size();
  }
  size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
    --length;
  }
  return length;
}

}  // namespace

int certAttributeText(const std::vector<unsigned char>& der, int attribute, std::string* text) {
  if (attribute != LDAPSSL_CERT_ATTR_ISSUER && attribute != LDAPSSL_CERT_ATTR_SUBJECT &&
      attribute != LDAPSSL_CERT_ATTR_VALIDITY_PERIOD) {
    return LDAP_PARAM_ERROR;
  }
  X509Ptr cert = parseDer(der);
  if (!cert) {
    return LDAP_DECODING_ERROR;
  }
  bool ok = false;
  switch (attribute) {
    case LDAPSSL_CERT_ATTR_ISSUER:
      ok = nameText(X509_get_issuer_name(cert.get()), text);
      break;
    case LDAPSSL_CERT_ATTR_SUBJECT:
      ok = nameText(X509_get_subject_name(cert.get()), text);
      break;
    default:
      ok = validityText(cert.get(), text);
      break;
  }
  return ok ? 0 : LDAP_DECODING_ERROR;
}

extern "C" int ldapssl_get_cert_attribute(LDAPSSL_CertHandle* cert, int attribute, char* buffer,
                                          uint32_t* length) {
  if (cert == nullptr || length == nullptr) {
    return LDAP_PARAM_ERROR;
  }
  std::string text;
  try {
    int rc = certAttributeText(cert->der, attribute, &text);
    if (rc != 0) {
      return rc;
    }
  } catch (const std::bad_alloc&) {
    return LDAP_NO_MEMORY;
  }
  if (buffer == nullptr) {
    if (text.size() > UINT32_MAX) {
      return LDAP_SIZELIMIT_EXCEEDED;
    }
    *length = static_cast<uint32_t>(text.size());
    return 0;
  }
  size_t copied = utf8PrefixLength(text, *length);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  *length = static_cast<uint32_t>(copied);
  return 0;
}

extern "C" int ldapssl_get_cert(LDAPSSL_CertHandle* cert, int type, LDAPSSL_Cert* out) {
  if (cert == nullptr || out == nullptr || type != LDAPSSL_CERT_BINARY_DER) {
    return LDAP_PARAM_ERROR;
  }
  if (out->data == nullptr) {
    out->length = cert->der.size();
    return 0;
  }
  // A shorter buffer would hand out a certificate that no longer parses.
  if (out->length < cert->der.size()) {
    return LDAP_SIZELIMIT_EXCEEDED;
  }
  std::memcpy(out->data, cert->der.data(), cert->der.size());
  out->length = cert->der.size();
  return 0;
}
