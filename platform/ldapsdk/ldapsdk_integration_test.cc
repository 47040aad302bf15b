// The SSL layer against slapd and ombrel-server, whose request logs show any
// bind; KIV_TEST_SLAPD and KIV_TEST_OMBREL: "LDAPS_PORT DER_FILE REQUEST_LOG".
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ldapssl.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Server {
  std::string name;
  std::string bindMark;  // how the request log shows a bind
  int ldapsPort = 0;
  std::string certPath{};
  std::string logPath{};

  int binds() const {
    std::string log = readFile(logPath);
    int count = 0;
    for (size_t at = 0; (at = log.find(bindMark, at)) != std::string::npos; ++at)
      ++count;
    return count;
  }
};

// The verify callback's answers (-1 once they run out) and what it read.
struct CallbackRecord {
  std::vector<int> answers;
  size_t calls = 0;
  std::string der;
  std::string subject;
};
CallbackRecord record;

int recordingCallback(LDAPSSL_CertHandle* cert) {
  unsigned char der[8192];
  LDAPSSL_Cert out = {sizeof der, der};
  if (ldapssl_get_cert(cert, LDAPSSL_CERT_BINARY_DER, &out) == 0)
    record.der.assign(der, der + out.length);
  char subject[256];
  uint32_t length = sizeof subject - 1;
  if (ldapssl_get_cert_attribute(cert, LDAPSSL_CERT_ATTR_SUBJECT, subject, &length) == 0)
    record.subject.assign(subject, length);
  size_t call = record.calls++;
  return call < record.answers.size() ? record.answers[call] : -1;
}

class SdkAgainstServers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Server& server : servers_) {
      const char* given = std::getenv(("KIV_TEST_" + server.name).c_str());
      if (given == nullptr)
        GTEST_SKIP() << "no servers given; run through ldapsdk_integration_test.py";
      std::istringstream(given) >> server.ldapsPort >> server.certPath >> server.logPath;
    }
  }
  void TearDown() override { ldapssl_client_deinit(); }

  Server servers_[2] = {{"SLAPD", " method="}, {"OMBREL", "ombrel-server: bind "}};
};

enum class Trust { kNothing, kServerFile, kOtherFile, kServerAdded };

TEST_F(SdkAgainstServers, CertificateIsJudgedBeforeTheBindIsSent) {
  struct Row {
    const char* name;
    Trust trust;
    std::vector<int> answers;  // the callback's; empty: no callback installed
    std::vector<int> binds;    // results of the binds made on one handle
    size_t callbackCalls;
  };
  using enum Trust;
  const int kRefused = LDAP_SERVER_DOWN;
  const Row rows[] = {
      {"first use, accepted", kNothing, {0}, {0}, 1},
      {"refused, then accepted on one handle", kNothing, {-1, 0}, {kRefused, 0}, 2},
      {"no callback", kNothing, {}, {kRefused}, 0},
      {"trust file of this server", kServerFile, {-1}, {0}, 0},
      {"trust file of the other server", kOtherFile, {0}, {kRefused}, 0},
      {"trusted by the program", kServerAdded, {-1}, {0}, 0},
  };
  for (const Server& server : servers_) {
    const Server& other = &server == &servers_[0] ? servers_[1] : servers_[0];
    std::string der = readFile(server.certPath);
    for (const Row& row : rows) {
      SCOPED_TRACE(server.name + ": " + row.name);
      const char* trustFile = row.trust == kServerFile  ? server.certPath.c_str()
                              : row.trust == kOtherFile ? other.certPath.c_str()
                                                        : nullptr;
      ASSERT_EQ(ldapssl_client_init(trustFile, nullptr), 0);
      LDAPSSL_Cert trusted = {der.size(), reinterpret_cast<unsigned char*>(der.data())};
      if (row.trust == kServerAdded) {
        ASSERT_EQ(ldapssl_add_trusted_cert(&trusted, LDAPSSL_CERT_BINARY_DER), 0);
      }
      ldapssl_set_verify_callback(row.answers.empty() ? nullptr : recordingCallback);
      record = CallbackRecord();
      record.answers = row.answers;
      LDAP* ld = ldapssl_init("127.0.0.1", server.ldapsPort, 1);
      ASSERT_NE(ld, nullptr);
      int bindsBefore = server.binds();
      int accepted = 0;
      for (int expected : row.binds) {
        EXPECT_EQ(ldap_simple_bind_s(ld, "cn=admin,o=corp", "secret"), expected);
        char* message = nullptr;
        EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message), LDAP_OPT_SUCCESS);
        EXPECT_EQ(message != nullptr && std::string(message) == LDAPSSL_CERT_REFUSED_MESSAGE,
                  expected == kRefused);
        ldap_memfree(message);
        accepted += expected == LDAP_SUCCESS;
        // A refused server has seen no bind: the password never left.
        EXPECT_EQ(server.binds(), bindsBefore + accepted);
      }
      EXPECT_EQ(record.calls, row.callbackCalls);
      EXPECT_EQ(record.der, row.callbackCalls > 0 ? der : "");
      EXPECT_EQ(record.subject.starts_with("CN=127.0.0.1"), row.callbackCalls > 0)
          << record.subject;
      ldap_unbind_ext(ld, nullptr, nullptr);
      ldapssl_client_deinit();
    }
  }
}

}  // namespace
