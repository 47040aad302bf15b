// The SSL state without a server; the handshake itself is tested against
// servers in ldapssl_integration_test.cc.
#include "ldapssl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_certificate.h"

namespace {

namespace fs = std::filesystem;

class SslStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ldapssl_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    ldapssl_client_deinit();
    fs::remove_all(dir_);
  }

  std::string writeFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    fs::path path = dir_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  fs::path dir_;
};

TEST_F(SslStateTest, TrustFileMustHoldOneCertificate) {
  std::vector<unsigned char> der = makeSelfSignedDer("corp", "127.0.0.1");
  ASSERT_FALSE(der.empty());
  EXPECT_EQ(ldapssl_client_init(writeFile("good.der", der).c_str(), nullptr), 0);

  EXPECT_EQ(ldapssl_client_init((dir_ / "missing.der").c_str(), nullptr), LDAP_LOCAL_ERROR);
  EXPECT_EQ(ldapssl_client_init(writeFile("empty.der", {}).c_str(), nullptr), LDAP_LOCAL_ERROR);
  std::vector<unsigned char> truncated(der.begin(), der.end() - 10);
  EXPECT_EQ(ldapssl_client_init(writeFile("short.der", truncated).c_str(), nullptr),
            LDAP_LOCAL_ERROR);
  std::vector<unsigned char> huge(2 << 20, 0x30);
  EXPECT_EQ(ldapssl_client_init(writeFile("huge.der", huge).c_str(), nullptr), LDAP_LOCAL_ERROR);
  EXPECT_EQ(ldapssl_client_init(dir_.c_str(), nullptr), LDAP_LOCAL_ERROR);
  // A FIFO without a writer would block a reader that waits for one.
  std::string fifo = (dir_ / "fifo.der").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ldapssl_client_init(fifo.c_str(), nullptr), LDAP_LOCAL_ERROR);
}

TEST_F(SslStateTest, HandlesNeedTheState) {
  EXPECT_EQ(ldapssl_init("127.0.0.1", 636, 1), nullptr);
  unsigned char byte = 0x30;
  LDAPSSL_Cert cert = {1, &byte};
  EXPECT_EQ(ldapssl_add_trusted_cert(&cert, LDAPSSL_CERT_BINARY_DER), LDAP_LOCAL_ERROR);

  ASSERT_EQ(ldapssl_client_init(nullptr, nullptr), 0);
  EXPECT_EQ(ldapssl_add_trusted_cert(&cert, LDAPSSL_CERT_BINARY_DER), 0);
  // IPv6 literals need brackets in the URI.
  for (const char* host : {"127.0.0.1", "::1", "[::1]"}) {
    LDAP* ld = ldapssl_init(host, 636, 1);
    ASSERT_NE(ld, nullptr) << host;
    ldap_unbind_ext(ld, nullptr, nullptr);
  }
  // A space or comma would make libldap read a list of URIs.
  EXPECT_EQ(ldapssl_init("127.0.0.1 evil.example", 636, 1), nullptr);
  EXPECT_EQ(ldapssl_init("a,b", 636, 1), nullptr);
  EXPECT_EQ(ldapssl_init("[]", 636, 1), nullptr);
  ldapssl_client_deinit();
  EXPECT_EQ(ldapssl_init("127.0.0.1", 636, 1), nullptr);
}

}  // namespace
