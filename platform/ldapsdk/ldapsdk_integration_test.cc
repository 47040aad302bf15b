// The schema calls of the SDK extensions against a real slapd.
// ldapsdk_integration_test.py starts the server and passes it in the
// environment: KIV_TEST_LDAP_PORT (clear port on 127.0.0.1) and
// KIV_TEST_DOWN_PORT (a port nothing listens on). Without them every test is
// skipped. The SSL handshake is tested in ldapssl_integration_test.cc.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ldapssl.h"
#include "ldapx.h"

namespace {

class SchemaAgainstSlapd : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* ldap = std::getenv("KIV_TEST_LDAP_PORT");
    const char* down = std::getenv("KIV_TEST_DOWN_PORT");
    if (ldap == nullptr || down == nullptr) {
      GTEST_SKIP() << "no slapd given; run through ldapsdk_integration_test.py";
    }
    ldapPort_ = std::atoi(ldap);
    downPort_ = std::atoi(down);
  }
  void TearDown() override {
    for (LDAP* ld : handles_) {
      ldap_unbind_ext(ld, nullptr, nullptr);
    }
    ldapssl_client_deinit();
  }

  int bindClear(LDAP** out) {
    std::string uri = "ldap://127.0.0.1:" + std::to_string(ldapPort_);
    LDAP* ld = nullptr;
    int version = LDAP_VERSION3;
    if (ldap_initialize(&ld, uri.c_str()) != LDAP_SUCCESS) {
      return LDAP_LOCAL_ERROR;
    }
    handles_.push_back(ld);
    *out = ld;
    if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS) {
      return LDAP_LOCAL_ERROR;
    }
    return ldap_simple_bind_s(ld, "cn=admin,o=corp", "secret");
  }

  int ldapPort_ = 0;
  int downPort_ = 0;
  std::vector<LDAP*> handles_;
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
  LDAP* ld = ldapssl_init("127.0.0.1", downPort_, 1);
  ASSERT_NE(ld, nullptr);
  handles_.push_back(ld);
  LDAPSchema* schema = nullptr;
  EXPECT_EQ(ldap_schema_fetch(ld, &schema, nullptr), LDAP_SERVER_DOWN);
  EXPECT_EQ(schema, nullptr);
}

}  // namespace
