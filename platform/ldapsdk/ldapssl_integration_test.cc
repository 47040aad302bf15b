// The SSL extension against slapd and the test directory server. The driver
// (ldapsdk_integration_test.py) passes KIV_TEST_SLAPD and KIV_TEST_OMBREL,
// each "LDAPS_PORT LDAP_PORT CERTIFICATE_DER_FILE REQUEST_LOG", and the ports
// KIV_TEST_DOWN_PORT (nothing listens) and KIV_TEST_SILENT_PORT (a listener
// that never answers). Without them the tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ldapssl.h"
#include "test_certificate.h"

namespace {

namespace fs = std::filesystem;

constexpr char kAdmin[] = "cn=admin,o=corp";
constexpr char kPassword[] = "secret";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TestServer {
  std::string name;
  std::string bindMark;  // how the request log shows a bind
  int ldapsPort = 0;
  int ldapPort = 0;
  std::string certPath{};
  std::string logPath{};

  std::vector<unsigned char> der() const {
    std::string bytes = readFile(certPath);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
  }
  int binds() const {
    std::string log = readFile(logPath);
    int count = 0;
    for (size_t at = log.find(bindMark); at != std::string::npos; at = log.find(bindMark, at + 1)) {
      ++count;
    }
    return count;
  }
};

// What the verify callback answers, in order (-1 once they run out), and
// what it read through its certificate handle.
struct CallbackRecord {
  std::vector<int> answers;
  size_t calls = 0;
  std::vector<unsigned char> der;
  std::string subject;
};
CallbackRecord record;

int recordingCallback(LDAPSSL_CertHandle* cert) {
  LDAPSSL_Cert out = {0, nullptr};
  uint32_t length = 0;
  if (ldapssl_get_cert(cert, LDAPSSL_CERT_BINARY_DER, &out) == 0 &&
      ldapssl_get_cert_attribute(cert, LDAPSSL_CERT_ATTR_SUBJECT, nullptr, &length) == 0) {
    record.der.assign(out.length, 0);
    out.data = record.der.data();
    std::vector<char> subject(length + 1);
    if (ldapssl_get_cert(cert, LDAPSSL_CERT_BINARY_DER, &out) != 0 ||
        ldapssl_get_cert_attribute(cert, LDAPSSL_CERT_ATTR_SUBJECT, subject.data(), &length) != 0) {
      record.der.clear();
    }
    record.subject = subject.data();
  }
  size_t call = record.calls++;
  return call < record.answers.size() ? record.answers[call] : -1;
}

std::string diagnosticMessage(LDAP* ld) {
  char* message = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) != LDAP_OPT_SUCCESS ||
      message == nullptr) {
    return "";
  }
  std::string text(message);
  ldap_memfree(message);
  return text;
}

class SslAgainstServers : public ::testing::Test {
 protected:
  void SetUp() override {
    servers_ = {{"SLAPD", " method="}, {"OMBREL", "ombrel-server: bind "}};
    for (TestServer& server : servers_) {
      const char* given = std::getenv(("KIV_TEST_" + server.name).c_str());
      if (given == nullptr || down_ == nullptr || silent_ == nullptr) {
        GTEST_SKIP() << "no servers given; run through ldapsdk_integration_test.py";
      }
      std::istringstream(given) >> server.ldapsPort >> server.ldapPort >> server.certPath >>
          server.logPath;
    }
    std::string pattern = (fs::temp_directory_path() / "ldapssl_integration.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    record = CallbackRecord();
  }
  void TearDown() override {
    ldapssl_client_deinit();
    if (!dir_.empty()) {
      fs::remove_all(dir_);
    }
  }

  std::string writeFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return (dir_ / name).string();
  }

  std::vector<TestServer> servers_;
  const char* down_ = std::getenv("KIV_TEST_DOWN_PORT");
  const char* silent_ = std::getenv("KIV_TEST_SILENT_PORT");
  fs::path dir_;
};

enum class Trust { kNothing, kServerFile, kOtherFile, kServerAdded };

TEST_F(SslAgainstServers, CertificateIsJudgedBeforeTheBindIsSent) {
  struct Case {
    const char* name;
    Trust trust;
    std::vector<int> answers;  // the callback's; empty: no callback installed
    std::vector<int> binds;    // results of the binds made on one handle
    size_t callbackCalls;
  };
  const Case cases[] = {
      {"first use, accepted", Trust::kNothing, {0}, {LDAP_SUCCESS}, 1},
      {"refused, then accepted on the same handle",
       Trust::kNothing,
       {-1, 0},
       {LDAP_SERVER_DOWN, LDAP_SUCCESS},
       2},
      {"no callback", Trust::kNothing, {}, {LDAP_SERVER_DOWN}, 0},
      {"trust file of this server", Trust::kServerFile, {-1}, {LDAP_SUCCESS}, 0},
      {"trust file of another server", Trust::kOtherFile, {0}, {LDAP_SERVER_DOWN}, 0},
      {"trusted by the program", Trust::kServerAdded, {-1}, {LDAP_SUCCESS}, 0},
  };
  std::vector<unsigned char> other = makeSelfSignedDer("corp", "127.0.0.1");
  ASSERT_FALSE(other.empty());
  for (const TestServer& server : servers_) {
    std::vector<unsigned char> der = server.der();
    for (const Case& c : cases) {
      SCOPED_TRACE(server.name + ": " + c.name);
      std::string trustFile = c.trust == Trust::kServerFile  ? writeFile("server.der", der)
                              : c.trust == Trust::kOtherFile ? writeFile("other.der", other)
                                                             : "";
      ASSERT_EQ(ldapssl_client_init(trustFile.empty() ? nullptr : trustFile.c_str(), nullptr), 0);
      LDAPSSL_Cert trusted = {der.size(), der.data()};
      if (c.trust == Trust::kServerAdded) {
        ASSERT_EQ(ldapssl_add_trusted_cert(&trusted, LDAPSSL_CERT_BINARY_DER), 0);
      }
      ldapssl_set_verify_callback(c.answers.empty() ? nullptr : recordingCallback);
      record = CallbackRecord();
      record.answers = c.answers;
      LDAP* ld = ldapssl_init("127.0.0.1", server.ldapsPort, 1);
      ASSERT_NE(ld, nullptr);
      int bindsBefore = server.binds();
      int accepted = 0;
      for (int expected : c.binds) {
        EXPECT_EQ(ldap_simple_bind_s(ld, kAdmin, kPassword), expected);
        if (expected == LDAP_SERVER_DOWN) {
          EXPECT_EQ(diagnosticMessage(ld), LDAPSSL_CERT_REFUSED_MESSAGE);
        }
        accepted += expected == LDAP_SUCCESS;
        // A refused server has seen no bind: the password never left.
        EXPECT_EQ(server.binds(), bindsBefore + accepted);
      }
      EXPECT_EQ(record.calls, c.callbackCalls);
      if (c.callbackCalls > 0) {
        EXPECT_EQ(record.der, der);
        EXPECT_NE(record.subject.find("CN=127.0.0.1"), std::string::npos) << record.subject;
      }
      ldap_unbind_ext(ld, nullptr, nullptr);
      ldapssl_client_deinit();
    }
  }
}

TEST_F(SslAgainstServers, FailedHandshakeIsServerDownNotRefusal) {
  struct Case {
    const char* name;
    int port;
    int networkTimeoutSeconds;   // 0: not set
    const char* diagnosticPart;  // of the diagnostic message
  };
  // A server that does not speak TLS ends the handshake itself, without
  // waiting for the time limit.
  const Case cases[] = {
      {"nothing listens", std::atoi(down_), 0, ""},
      {"slapd's clear port", servers_[0].ldapPort, 0, "non-properly terminated"},
      {"the test server's clear port", servers_[1].ldapPort, 0, "non-properly terminated"},
      {"a listener that never answers", std::atoi(silent_), 1, "timed out"},
  };
  ASSERT_EQ(ldapssl_client_init(nullptr, nullptr), 0);
  ldapssl_set_verify_callback(recordingCallback);
  record.answers = {0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LDAP* ld = ldapssl_init("127.0.0.1", c.port, 1);
    ASSERT_NE(ld, nullptr);
    if (c.networkTimeoutSeconds > 0) {
      timeval timeout = {c.networkTimeoutSeconds, 0};
      ASSERT_EQ(ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout), LDAP_OPT_SUCCESS);
    }
    EXPECT_EQ(ldap_simple_bind_s(ld, kAdmin, kPassword), LDAP_SERVER_DOWN);
    std::string message = diagnosticMessage(ld);
    EXPECT_NE(message, LDAPSSL_CERT_REFUSED_MESSAGE);
    EXPECT_NE(message.find(c.diagnosticPart), std::string::npos) << message;
    ldap_unbind_ext(ld, nullptr, nullptr);
  }
  EXPECT_EQ(record.calls, 0u);
}

}  // namespace
