#include "test_certificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};

bool setValidity(X509* cert) {
  return ASN1_TIME_set_string(X509_getm_notBefore(cert), "20260101000000Z") == 1 &&
         ASN1_TIME_set_string(X509_getm_notAfter(cert), "20270101000000Z") == 1;
}

bool setName(X509* cert, const std::string& organization, const std::string& commonName) {
  X509_NAME* name = X509_get_subject_name(cert);
  auto add = [name](const char* field, const std::string& value) {
    return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1,
                                      0) == 1;
  };
  return add("O", organization) && add("CN", commonName) && X509_set_issuer_name(cert, name) == 1;
}

}  // namespace

std::vector<unsigned char> makeSelfSignedDer(const std::string& organization,
                                             const std::string& commonName) {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, X509Free> cert(X509_new());
  if (!key || !cert || X509_set_version(cert.get(), 2) != 1 ||
      ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1) != 1 || !setValidity(cert.get()) ||
      !setName(cert.get(), organization, commonName) ||
      X509_set_pubkey(cert.get(), key.get()) != 1 ||
      X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
    return {};
  }
  int size = i2d_X509(cert.get(), nullptr);
  if (size <= 0) {
    return {};
  }
  std::vector<unsigned char> der(static_cast<size_t>(size));
  unsigned char* cursor = der.data();
  if (i2d_X509(cert.get(), &cursor) != size) {
    return {};
  }
  return der;
}
