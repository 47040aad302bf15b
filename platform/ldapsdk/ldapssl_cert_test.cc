#include "ldapssl_cert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_certificate.h"

namespace {

class CertHandleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // "Zürich" puts a two-byte UTF-8 sequence into the names.
    handle_.der = makeSelfSignedDer("corp", "Z\xC3\xBCrich");
    ASSERT_FALSE(handle_.der.empty());
  }

  std::string read(int attribute) {
    uint32_t length = 0;
    EXPECT_EQ(ldapssl_get_cert_attribute(&handle_, attribute, nullptr, &length), 0);
    std::vector<char> buffer(length + 1, 'x');
    uint32_t copied = length;
    EXPECT_EQ(ldapssl_get_cert_attribute(&handle_, attribute, buffer.data(), &copied), 0);
    EXPECT_EQ(copied, length);
    EXPECT_EQ(buffer[length], '\0');
    return std::string(buffer.data(), copied);
  }

  LDAPSSL_CertHandle handle_;
};

TEST_F(CertHandleTest, AttributesAreReadableText) {
  EXPECT_EQ(read(LDAPSSL_CERT_ATTR_SUBJECT), "CN=Z\xC3\xBCrich,O=corp");
  EXPECT_EQ(read(LDAPSSL_CERT_ATTR_ISSUER), "CN=Z\xC3\xBCrich,O=corp");
  EXPECT_EQ(read(LDAPSSL_CERT_ATTR_VALIDITY_PERIOD),
            "Jan  1 00:00:00 2026 GMT - Jan  1 00:00:00 2027 GMT");
}

TEST_F(CertHandleTest, ShortBufferGetsWholeCharactersAndNul) {
  // "CN=Z\xC3\xBC...": five bytes would end inside the two-byte character.
  char buffer[8];
  uint32_t length = 5;
  ASSERT_EQ(ldapssl_get_cert_attribute(&handle_, LDAPSSL_CERT_ATTR_SUBJECT, buffer, &length), 0);
  EXPECT_EQ(length, 4u);
  EXPECT_STREQ(buffer, "CN=Z");

  length = 6;
  ASSERT_EQ(ldapssl_get_cert_attribute(&handle_, LDAPSSL_CERT_ATTR_SUBJECT, buffer, &length), 0);
  EXPECT_EQ(length, 6u);
  EXPECT_STREQ(buffer, "CN=Z\xC3\xBC");
}

TEST_F(CertHandleTest, BadRequestsAreRefused) {
  uint32_t length = 0;
  EXPECT_EQ(ldapssl_get_cert_attribute(&handle_, 99, nullptr, &length), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldapssl_get_cert_attribute(&handle_, LDAPSSL_CERT_ATTR_ISSUER, nullptr, nullptr),
            LDAP_PARAM_ERROR);
  LDAPSSL_Cert out = {0, nullptr};
  EXPECT_EQ(ldapssl_get_cert(&handle_, 3, &out), LDAP_PARAM_ERROR);

  LDAPSSL_CertHandle broken;
  broken.der.assign(handle_.der.begin(), handle_.der.end() - 1);
  EXPECT_EQ(ldapssl_get_cert_attribute(&broken, LDAPSSL_CERT_ATTR_ISSUER, nullptr, &length),
            LDAP_DECODING_ERROR);
}

TEST_F(CertHandleTest, CertificateBytesComeOutWhole) {
  LDAPSSL_Cert out = {0, nullptr};
  ASSERT_EQ(ldapssl_get_cert(&handle_, LDAPSSL_CERT_BINARY_DER, &out), 0);
  ASSERT_EQ(out.length, handle_.der.size());

  std::vector<unsigned char> bytes(out.length);
  out.data = bytes.data();
  ASSERT_EQ(ldapssl_get_cert(&handle_, LDAPSSL_CERT_BINARY_DER, &out), 0);
  EXPECT_EQ(bytes, handle_.der);

  // A buffer one byte short would hold a certificate that no longer parses.
  out.length = handle_.der.size() - 1;
  EXPECT_EQ(ldapssl_get_cert(&handle_, LDAPSSL_CERT_BINARY_DER, &out), LDAP_SIZELIMIT_EXCEEDED);
}

}  // namespace
