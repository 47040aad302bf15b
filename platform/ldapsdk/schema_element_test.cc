#include "schema_element.h"

#include <ctype.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

// The element through the field calls, as "NAME(cn,commonName) SINGLE-VALUE()";
// each field is asked for in lower case.
std::string render(LDAPSchemaElement* element) {
  char** names = nullptr;
  EXPECT_EQ(ldap_schema_get_field_names(element, &names), 0);
  std::string text;
  for (char** name = names; names != nullptr && *name != nullptr; ++name) {
    std::string lower = *name;
    for (char& c : lower)
      c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    char** values = nullptr;
    EXPECT_EQ(ldap_schema_get_field_values(element, lower.c_str(), &values), 0) << *name;
    text += std::string(name == names ? "" : " ") + *name + "(";
    for (char** value = values; values != nullptr && *value != nullptr; ++value)
      text += std::string(value == values ? "" : ",") + *value;
    text += ")";
    ldap_value_free(values);
  }
  ldap_value_free(names);
  return text;
}

TEST(SchemaElementTest, DefinitionsParseIntoFieldsInGrammarOrder) {
  const int kType = LDAP_SCHEMA_ATTRIBUTE_TYPE;
  const std::tuple<int, const char*, const char*> rows[] = {
      // kind, definition, fields
      {kType,
       "( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 "
       "X-VRD_NAME 'UID' )",
       "NAME(uidNumber) SYNTAX(1.3.6.1.4.1.1466.115.121.1.27) X-VRD_NAME(UID)"},
      {kType, "(1.2.3 NAME 'gidNumber' X-VRD_NAME 'GID' )",  // no space after "("
       "NAME(gidNumber) X-VRD_NAME(GID)"},
      {kType,
       "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'common name' SUP name EQUALITY "
       "caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} SINGLE-VALUE USAGE "
       "dSAOperation X-VRD_CONTAINMENT ( 'a' 'b' ) X-ORIGIN 'x' )",
       "NAME(cn,commonName) DESC(common name) SUP(name) EQUALITY(caseIgnoreMatch) "
       "SYNTAX(1.3.6.1.4.1.1466.115.121.1.15{64}) SINGLE-VALUE() USAGE(dSAOperation) "
       "X-VRD_CONTAINMENT(a,b) X-ORIGIN(x)"},
      {LDAP_SCHEMA_OBJECT_CLASS,
       "( 1.3.6.1.4.1.32473.1.2.1 NAME 'qupPosixConfig' SUP top AUXILIARY MUST cn "
       "MAY ( description $ seeAlso ) X-VRD_CONTAINMENT ( 'organization' 'domain' ) )",
       "NAME(qupPosixConfig) SUP(top) AUXILIARY() MUST(cn) MAY(description,seeAlso) "
       "X-VRD_CONTAINMENT(organization,domain)"},
      {LDAP_SCHEMA_OBJECT_CLASS, "( 1.2.3 NAME 'plain' )",
       "NAME(plain) STRUCTURAL()"},  // the default kind
  };
  LDAPSchemaElement element;
  for (const auto& [kind, definition, fields] : rows) {
    EXPECT_EQ(parseSchemaElement(kind, definition, &element), 0) << definition;
    EXPECT_EQ(render(&element), fields);
  }
  // A definition refused leaves the element as it was.
  for (const char* bad : {"( 1.2.3 NAME 'open'", "garbage", "", "( 1.2.3 NAME 'x' \xff\xfe )"})
    EXPECT_EQ(parseSchemaElement(kType, bad, &element), LDAP_DECODING_ERROR) << bad;
  EXPECT_EQ(parseSchemaElement(7, "( 1.2.3 NAME 'x' )", &element), LDAP_PARAM_ERROR);
  EXPECT_EQ(render(&element), "NAME(plain) STRUCTURAL()");
  char** values = nullptr;  // a field not given is no empty one
  EXPECT_EQ(ldap_schema_get_field_values(&element, "MAY", &values), LDAP_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(values, nullptr);
}

}  // namespace
