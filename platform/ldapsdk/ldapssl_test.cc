// What the verify callback reads through its certificate handle; the
// handshake and the trust file are tested against servers in
// ldapsdk_integration_test.cc and by kivconfig's end-to-end tests.
#include "ldapssl.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ldapssl_cert.h"

namespace {

// DER bytes of a new self-signed certificate for O=corp, CN=`commonName`
// (UTF-8), valid through 2026 (GMT); empty when OpenSSL fails.
std::vector<unsigned char> makeSelfSignedDer(const std::string& commonName) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  if (!key || !cert) {
    return {};
  }
  X509* x = cert.get();
  X509_NAME* name = X509_get_subject_name(x);
  auto text = [](const std::string& value) {
    return reinterpret_cast<const unsigned char*>(value.c_str());
  };
  if (X509_set_version(x, 2) != 1 || ASN1_INTEGER_set(X509_get_serialNumber(x), 1) != 1 ||
      ASN1_TIME_set_string(X509_getm_notBefore(x), "20260101000000Z") != 1 ||
      ASN1_TIME_set_string(X509_getm_notAfter(x), "20270101000000Z") != 1 ||
      X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, text("corp"), -1, -1, 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, text(commonName), -1, -1, 0) != 1 ||
      X509_set_issuer_name(x, name) != 1 || X509_set_pubkey(x, key.get()) != 1 ||
      X509_sign(x, key.get(), EVP_sha256()) == 0) {
    return {};
  }
  std::vector<unsigned char> der(static_cast<size_t>(std::max(i2d_X509(x, nullptr), 0)));
  unsigned char* cursor = der.data();
  if (der.empty() || i2d_X509(x, &cursor) != static_cast<int>(der.size())) {
    return {};
  }
  return der;
}

TEST(CertHandleTest, TextIsCutOnlyBetweenCharactersAndBytesComeWholeOrNotAtAll) {
  LDAPSSL_CertHandle handle{makeSelfSignedDer("Z\xC3\xBCrich")};  // a two-byte character
  ASSERT_FALSE(handle.der.empty());
  const std::string subject = "CN=Z\xC3\xBCrich,O=corp";
  const std::tuple<int, uint32_t, std::string> rows[] = {
      // attribute, bytes the buffer holds besides the NUL, text copied
      {LDAPSSL_CERT_ATTR_SUBJECT, 64, subject},
      {LDAPSSL_CERT_ATTR_ISSUER, 64, subject},
      {LDAPSSL_CERT_ATTR_VALIDITY_PERIOD, 64,
       "Jan  1 00:00:00 2026 GMT - Jan  1 00:00:00 2027 GMT"},
      {LDAPSSL_CERT_ATTR_SUBJECT, 5, "CN=Z"},  // five bytes would end inside the character
      {LDAPSSL_CERT_ATTR_SUBJECT, 6, "CN=Z\xC3\xBC"},
  };
  for (const auto& [attribute, room, text] : rows) {
    char buffer[65];
    uint32_t length = room;
    ASSERT_EQ(ldapssl_get_cert_attribute(&handle, attribute, buffer, &length), 0) << text;
    EXPECT_EQ(std::string(buffer, length + 1), text + '\0');
  }
  uint32_t length = 0;
  EXPECT_EQ(ldapssl_get_cert_attribute(&handle, LDAPSSL_CERT_ATTR_SUBJECT, nullptr, &length), 0);
  EXPECT_EQ(length, subject.size());

  std::vector<unsigned char> bytes(handle.der.size() - 1, 0);
  LDAPSSL_Cert out = {bytes.size(), bytes.data()};
  EXPECT_EQ(ldapssl_get_cert(&handle, 3, &out), LDAP_PARAM_ERROR);
  // A buffer one byte short would hold a certificate that no longer parses.
  EXPECT_EQ(ldapssl_get_cert(&handle, LDAPSSL_CERT_BINARY_DER, &out), LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_EQ(bytes, std::vector<unsigned char>(bytes.size(), 0));
}

}  // namespace
