// The SDK extensions against a real slapd. ldapsdk_integration_test.py
// starts the server and passes it in the environment:
//   KIV_TEST_LDAP_PORT, KIV_TEST_LDAPS_PORT  clear and SSL ports on 127.0.0.1
//   KIV_TEST_CERT_DER                         the server certificate (DER)
//   KIV_TEST_OTHER_CERT_DER                   a certificate the server lacks
//   KIV_TEST_DOWN_PORT                        a port nothing listens on
// Without them every test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ldapssl.h"
#include "ldapx.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Server {
  int ldapPort = 0;
  int ldapsPort = 0;
  std::string certPath;
  std::string otherCertPath;
  int downPort = 0;
};

bool serverFromEnvironment(Server* server) {
  const char* ldap = std::getenv("KIV_TEST_LDAP_PORT");
  const char* ldaps = std::getenv("KIV_TEST_LDAPS_PORT");
  const char* cert = std::getenv("KIV_TEST_CERT_DER");
  const char* other = std::getenv("KIV_TEST_OTHER_CERT_DER");
  const char* down = std::getenv("KIV_TEST_DOWN_PORT");
  if (ldap == nullptr || ldaps == nullptr || cert == nullptr || other == nullptr ||
      down == nullptr) {
    return false;
  }
  server->downPort = std::atoi(down);
  server->ldapPort = std::atoi(ldap);
  server->ldapsPort = std::atoi(ldaps);
  server->certPath = cert;
  server->otherCertPath = other;
  return true;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the verify callback saw, and what it answers.
struct CallbackLog {
  int calls = 0;
  int answer = 0;
  bool trustOnAccept = false;
  Bytes der;
  std::string issuer;
  std::string subject;
  std::string validity;
};
CallbackLog callbackLog;

std::string readAttribute(LDAPSSL_CertHandle* cert, int attribute) {
  uint32_t length = 0;
  if (ldapssl_get_cert_attribute(cert, attribute, nullptr, &length) != 0) {
    return "(length failed)";
  }
  std::string text(length + 1, '\0');
  if (ldapssl_get_cert_attribute(cert, attribute, text.data(), &length) != 0) {
    return "(read failed)";
  }
  text.resize(length);
  return text;
}

int recordingCallback(LDAPSSL_CertHandle* cert) {
  ++callbackLog.calls;
  callbackLog.issuer = readAttribute(cert, LDAPSSL_CERT_ATTR_ISSUER);
  callbackLog.subject = readAttribute(cert, LDAPSSL_CERT_ATTR_SUBJECT);
  callbackLog.validity = readAttribute(cert, LDAPSSL_CERT_ATTR_VALIDITY_PERIOD);
  LDAPSSL_Cert out = {0, nullptr};
  if (ldapssl_get_cert(cert, LDAPSSL_CERT_BINARY_DER, &out) != 0) {
    return -1;
  }
  callbackLog.der.assign(out.length, 0);
  out.data = callbackLog.der.data();
  if (ldapssl_get_cert(cert, LDAPSSL_CERT_BINARY_DER, &out) != 0) {
    return -1;
  }
  if (callbackLog.answer == 0 && callbackLog.trustOnAccept) {
    ldapssl_add_trusted_cert(&out, LDAPSSL_CERT_BINARY_DER);
  }
  return callbackLog.answer;
}

std::string diagnosticMessage(LDAP* ld) {
  char* message = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) != LDAP_OPT_SUCCESS ||
      message == nullptr) {
    return "";
  }
  std::string text = message;
  ldap_memfree(message);
  return text;
}

class SdkAgainstSlapd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!serverFromEnvironment(&server_)) {
      GTEST_SKIP() << "no slapd given; run through ldapsdk_integration_test.py";
    }
    callbackLog = CallbackLog();
  }
  void TearDown() override {
    for (LDAP* ld : handles_) {
      ldap_unbind_ext(ld, nullptr, nullptr);
    }
    ldapssl_client_deinit();
  }

  // Sets up the SSL state and binds as the root DN over LDAPS.
  int bindOverSsl(const char* trustFile, int port, LDAP** out) {
    int rc = ldapssl_client_init(trustFile, nullptr);
    if (rc != 0) {
      return rc;
    }
    ldapssl_set_verify_callback(recordingCallback);
    return bindHandle(ldapssl_init("127.0.0.1", port, 1), out);
  }

  int bindHandle(LDAP* ld, LDAP** out) {
    if (ld == nullptr) {
      return LDAP_LOCAL_ERROR;
    }
    handles_.push_back(ld);
    *out = ld;
    return ldap_simple_bind_s(ld, "cn=admin,o=corp", "secret");
  }

  Server server_;
  std::vector<LDAP*> handles_;
};

TEST_F(SdkAgainstSlapd, CallbackSeesServerCertificateAndAcceptingBinds) {
  callbackLog.trustOnAccept = true;
  LDAP* ld = nullptr;
  ASSERT_EQ(bindOverSsl(nullptr, server_.ldapsPort, &ld), 0);
  EXPECT_EQ(callbackLog.calls, 1);
  EXPECT_EQ(callbackLog.der, readFile(server_.certPath));
  EXPECT_EQ(callbackLog.subject, "CN=127.0.0.1,O=corp");
  EXPECT_EQ(callbackLog.issuer, "CN=127.0.0.1,O=corp");
  EXPECT_NE(callbackLog.validity.find(" GMT - "), std::string::npos) << callbackLog.validity;

  // The callback trusted the certificate: a second handle binds without it.
  LDAP* second = nullptr;
  EXPECT_EQ(bindHandle(ldapssl_init("127.0.0.1", server_.ldapsPort, 1), &second), 0);
  EXPECT_EQ(callbackLog.calls, 1);
}

TEST_F(SdkAgainstSlapd, RejectingCallbackRefusesTheCertificate) {
  callbackLog.answer = -1;
  LDAP* ld = nullptr;
  EXPECT_EQ(bindOverSsl(nullptr, server_.ldapsPort, &ld), LDAP_SERVER_DOWN);
  EXPECT_EQ(callbackLog.calls, 1);
  EXPECT_EQ(diagnosticMessage(ld), LDAPSSL_CERT_REFUSED_MESSAGE);
}

TEST_F(SdkAgainstSlapd, TrustFileOfTheServerConnectsWithoutCallback) {
  LDAP* ld = nullptr;
  EXPECT_EQ(bindOverSsl(server_.certPath.c_str(), server_.ldapsPort, &ld), 0);
  EXPECT_EQ(callbackLog.calls, 0);
}

TEST_F(SdkAgainstSlapd, TrustFileOfAnotherCertificateIsRefused) {
  LDAP* ld = nullptr;
  EXPECT_EQ(bindOverSsl(server_.otherCertPath.c_str(), server_.ldapsPort, &ld), LDAP_SERVER_DOWN);
  EXPECT_EQ(callbackLog.calls, 0);
  EXPECT_EQ(diagnosticMessage(ld), LDAPSSL_CERT_REFUSED_MESSAGE);
}

TEST_F(SdkAgainstSlapd, ServerDownLeavesNoMessage) {
  LDAP* ld = nullptr;
  EXPECT_EQ(bindOverSsl(nullptr, server_.downPort, &ld), LDAP_SERVER_DOWN);
  EXPECT_EQ(callbackLog.calls, 0);
  EXPECT_EQ(diagnosticMessage(ld), "");
}

class SchemaAgainstSlapd : public SdkAgainstSlapd {
 protected:
  int bindClear(LDAP** out) {
    std::string uri = "ldap://127.0.0.1:" + std::to_string(server_.ldapPort);
    LDAP* ld = nullptr;
    int version = LDAP_VERSION3;
    if (ldap_initialize(&ld, uri.c_str()) != LDAP_SUCCESS ||
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS) {
      return LDAP_LOCAL_ERROR;
    }
    return bindHandle(ld, out);
  }
};

std::vector<std::string> nameField(LDAPSchemaElement* element) {
  char** values = nullptr;
  std::vector<std::string> names;
  if (ldap_schema_get_field_values(element, "NAME", &values) != 0) {
    return names;
  }
  for (char** value = values; *value != nullptr; ++value) {
    names.emplace_back(*value);
  }
  ldap_value_free(values);
  return names;
}

// The NAME values of the first element of `kind` whose primary name is
// `primary`; empty when there is none.
std::vector<std::string> namesOf(LDAPSchema* schema, int kind, const std::string& primary) {
  for (int i = 0; i < ldap_schema_get_count(schema, kind); ++i) {
    LDAPSchemaElement* element = nullptr;
    if (ldap_schema_get_by_index(schema, i, kind, &element) != 0) {
      return {};
    }
    std::vector<std::string> names = nameField(element);
    if (!names.empty() && names[0] == primary) {
      return names;
    }
  }
  return {};
}

TEST_F(SchemaAgainstSlapd, SubschemaListsAttributeTypesPrimaryNameFirst) {
  LDAP* ld = nullptr;
  ASSERT_EQ(bindClear(&ld), 0);
  LDAPSchema* schema = nullptr;
  ASSERT_EQ(ldap_schema_fetch(ld, &schema, nullptr), 0);
  EXPECT_GT(ldap_schema_get_count(schema, LDAP_SCHEMA_ATTRIBUTE_TYPE), 100);
  EXPECT_EQ(namesOf(schema, LDAP_SCHEMA_ATTRIBUTE_TYPE, "cn"),
            (std::vector<std::string>{"cn", "commonName"}));
  EXPECT_EQ(namesOf(schema, LDAP_SCHEMA_ATTRIBUTE_TYPE, "uidNumber"),
            std::vector<std::string>{"uidNumber"});
  EXPECT_EQ(namesOf(schema, LDAP_SCHEMA_OBJECT_CLASS, "inetOrgPerson"),
            std::vector<std::string>{"inetOrgPerson"});
  EXPECT_TRUE(namesOf(schema, LDAP_SCHEMA_ATTRIBUTE_TYPE, "commonName").empty());

  ldap_schema_free(schema);
}

TEST_F(SchemaAgainstSlapd, RefreshReachesTheServer) {
  LDAP* ld = nullptr;
  ASSERT_EQ(bindClear(&ld), 0);
  // slapd does not know the operation and says so.
  EXPECT_EQ(ldap_refresh_server(ld), LDAP_PROTOCOL_ERROR);
}

TEST_F(SchemaAgainstSlapd, FetchFromAServerThatIsDownFails) {
  ASSERT_EQ(ldapssl_client_init(nullptr, nullptr), 0);
  LDAP* ld = ldapssl_init("127.0.0.1", server_.downPort, 1);
  ASSERT_NE(ld, nullptr);
  handles_.push_back(ld);
  LDAPSchema* schema = nullptr;
  EXPECT_EQ(ldap_schema_fetch(ld, &schema, nullptr), LDAP_SERVER_DOWN);
  EXPECT_EQ(schema, nullptr);
}

}  // namespace
