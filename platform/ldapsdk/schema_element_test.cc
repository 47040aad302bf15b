#include "schema_element.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Copies a list from the field calls and releases it as a caller would.
std::vector<std::string> takeList(char** list) {
  std::vector<std::string> copy;
  for (char** item = list; item != nullptr && *item != nullptr; ++item) {
    copy.emplace_back(*item);
  }
  ldap_value_free(list);
  return copy;
}

std::vector<std::string> fieldNames(LDAPSchemaElement* element) {
  char** names = nullptr;
  EXPECT_EQ(ldap_schema_get_field_names(element, &names), 0);
  return takeList(names);
}

std::vector<std::string> fieldValues(LDAPSchemaElement* element, const char* field) {
  char** values = nullptr;
  EXPECT_EQ(ldap_schema_get_field_values(element, field, &values), 0) << field;
  return takeList(values);
}

using List = std::vector<std::string>;

TEST(SchemaElementTest, VendorMappingDefinitionsParse) {
  LDAPSchemaElement uid;
  ASSERT_EQ(parseSchemaElement(LDAP_SCHEMA_ATTRIBUTE_TYPE,
                               "( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX "
                               "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )",
                               &uid),
            0);
  EXPECT_EQ(fieldNames(&uid), (List{"NAME", "SYNTAX", "X-VRD_NAME"}));
  EXPECT_EQ(fieldValues(&uid, "x-vrd_name"), List{"UID"});

  // No space after the opening parenthesis.
  LDAPSchemaElement gid;
  ASSERT_EQ(parseSchemaElement(LDAP_SCHEMA_ATTRIBUTE_TYPE,
                               "(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX "
                               "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )",
                               &gid),
            0);
  EXPECT_EQ(fieldValues(&gid, "NAME"), List{"gidNumber"});
  EXPECT_EQ(fieldValues(&gid, "SYNTAX"), List{"1.3.6.1.4.1.1466.115.121.1.27"});
}

TEST(SchemaElementTest, AttributeTypeFieldsInGrammarOrder) {
  LDAPSchemaElement cn;
  ASSERT_EQ(parseSchemaElement(LDAP_SCHEMA_ATTRIBUTE_TYPE,
                               "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'common name' "
                               "SUP name EQUALITY caseIgnoreMatch "
                               "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} SINGLE-VALUE "
                               "USAGE dSAOperation X-VRD_CONTAINMENT ( 'a' 'b' ) X-ORIGIN 'x' )",
                               &cn),
            0);
  EXPECT_EQ(fieldNames(&cn), (List{"NAME", "DESC", "SUP", "EQUALITY", "SYNTAX", "SINGLE-VALUE",
                                   "USAGE", "X-VRD_CONTAINMENT", "X-ORIGIN"}));
  EXPECT_EQ(fieldValues(&cn, "NAME"), (List{"cn", "commonName"}));
  EXPECT_EQ(fieldValues(&cn, "SYNTAX"), List{"1.3.6.1.4.1.1466.115.121.1.15{64}"});
  EXPECT_EQ(fieldValues(&cn, "USAGE"), List{"dSAOperation"});
  EXPECT_EQ(fieldValues(&cn, "SINGLE-VALUE"), List{});
  EXPECT_EQ(fieldValues(&cn, "X-VRD_CONTAINMENT"), (List{"a", "b"}));

  char** values = nullptr;
  EXPECT_EQ(ldap_schema_get_field_values(&cn, "ORDERING", &values), LDAP_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(values, nullptr);
}

TEST(SchemaElementTest, ObjectClassFields) {
  LDAPSchemaElement oc;
  ASSERT_EQ(parseSchemaElement(LDAP_SCHEMA_OBJECT_CLASS,
                               "( 1.3.6.1.4.1.32473.1.2.1 NAME 'qupPosixConfig' SUP top "
                               "AUXILIARY MUST cn MAY ( description $ seeAlso ) "
                               "X-VRD_CONTAINMENT ( 'organization' 'domain' ) )",
                               &oc),
            0);
  EXPECT_EQ(fieldNames(&oc),
            (List{"NAME", "SUP", "AUXILIARY", "MUST", "MAY", "X-VRD_CONTAINMENT"}));
  EXPECT_EQ(fieldValues(&oc, "MAY"), (List{"description", "seeAlso"}));

  // The kind defaults to STRUCTURAL and is always listed.
  LDAPSchemaElement plain;
  ASSERT_EQ(parseSchemaElement(LDAP_SCHEMA_OBJECT_CLASS, "( 1.2.3 NAME 'plain' )", &plain), 0);
  EXPECT_EQ(fieldNames(&plain), (List{"NAME", "STRUCTURAL"}));
}

TEST(SchemaElementTest, MalformedDefinitionsAreRefusedWithoutChange) {
  LDAPSchemaElement element;
  ASSERT_EQ(parseSchemaElement(LDAP_SCHEMA_ATTRIBUTE_TYPE, "( 1.2.3 NAME 'kept' )", &element), 0);
  for (const char* bad : {"( 1.2.3 NAME 'open'", "garbage", "", "( 1.2.3 NAME 'x' \xff\xfe )"}) {
    EXPECT_EQ(parseSchemaElement(LDAP_SCHEMA_ATTRIBUTE_TYPE, bad, &element), LDAP_DECODING_ERROR)
        << bad;
  }
  EXPECT_EQ(parseSchemaElement(7, "( 1.2.3 NAME 'x' )", &element), LDAP_PARAM_ERROR);
  EXPECT_EQ(fieldValues(&element, "NAME"), List{"kept"});
}

}  // namespace
