// The SSL layer without a server: its state, the trust file, and what the
// verify callback reads through its certificate handle. The handshake, and
// the handle on a real server's certificate, are tested against servers in
// ldapsdk_integration_test.cc.
#include "ldapssl.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

TEST(SslStateTest, TrustFileMustHoldOneCertificateInARegularFile) {
  std::string dir = (std::filesystem::temp_directory_path() / "ldapssl_test.XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);  // would block a reader that waits
  std::vector<unsigned char> der = makeSelfSignedDer("127.0.0.1");
  ASSERT_FALSE(der.empty());
  // name, bytes of der written
  const std::pair<std::string, size_t> files[] = {
      {"good", der.size()}, {"empty", 0}, {"short", der.size() - 10}, {"huge", 2 << 20}};
  der.resize(2 << 20, 0x30);
  for (const auto& [name, size] : files)
    std::ofstream(dir + "/" + name).write(reinterpret_cast<char*>(der.data()), size);
  for (const char* name : {"good", "missing", "empty", "short", "huge", "", "fifo"}) {
    EXPECT_EQ(ldapssl_client_init((dir + "/" + name).c_str(), nullptr),
              name == std::string("good") ? 0 : LDAP_LOCAL_ERROR)
        << name;
  }
  ldapssl_client_deinit();
  std::filesystem::remove_all(dir);
}

TEST(SslStateTest, HandlesNeedTheStateAndOneHost) {
  unsigned char byte = 0x30;
  LDAPSSL_Cert cert = {1, &byte};
  EXPECT_EQ(ldapssl_init("127.0.0.1", 636, 1), nullptr);
  EXPECT_EQ(ldapssl_add_trusted_cert(&cert, LDAPSSL_CERT_BINARY_DER), LDAP_LOCAL_ERROR);
  ASSERT_EQ(ldapssl_client_init(nullptr, nullptr), 0);
  EXPECT_EQ(ldapssl_add_trusted_cert(&cert, LDAPSSL_CERT_BINARY_DER), 0);
  // IPv6 literals need brackets in the URI; a space or comma would make
  // libldap read a list of URIs.
  const std::pair<const char*, bool> hosts[] = {{"127.0.0.1", true}, {"::1", true},
                                                {"[::1]", true},     {"127.0.0.1 x.example", false},
                                                {"a,b", false},      {"[]", false}};
  for (const auto& [host, made] : hosts) {
    LDAP* ld = ldapssl_init(host, 636, 1);
    EXPECT_EQ(ld != nullptr, made) << host;
    if (ld != nullptr)
      ldap_unbind_ext(ld, nullptr, nullptr);
  }
  ldapssl_client_deinit();
  EXPECT_EQ(ldapssl_init("127.0.0.1", 636, 1), nullptr);
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
  EXPECT_EQ(ldapssl_get_cert_attribute(&handle, 99, nullptr, &length), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldapssl_get_cert_attribute(&handle, LDAPSSL_CERT_ATTR_ISSUER, nullptr, nullptr),
            LDAP_PARAM_ERROR);
  LDAPSSL_CertHandle broken{{handle.der.begin(), handle.der.end() - 1}};
  EXPECT_EQ(ldapssl_get_cert_attribute(&broken, LDAPSSL_CERT_ATTR_ISSUER, nullptr, &length),
            LDAP_DECODING_ERROR);

  std::vector<unsigned char> bytes(handle.der.size() - 1, 0);
  LDAPSSL_Cert out = {bytes.size(), bytes.data()};
  EXPECT_EQ(ldapssl_get_cert(&handle, 3, &out), LDAP_PARAM_ERROR);
  // A buffer one byte short would hold a certificate that no longer parses.
  EXPECT_EQ(ldapssl_get_cert(&handle, LDAPSSL_CERT_BINARY_DER, &out), LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_EQ(bytes, std::vector<unsigned char>(bytes.size(), 0));
}

}  // namespace
