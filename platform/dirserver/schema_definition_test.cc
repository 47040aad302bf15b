#include "schema_definition.h"

#include <gtest/gtest.h>

#include "result_codes.h"
#include "schema.h"

namespace ombrel {
namespace {

TEST(SchemaDefinitionTest, ObjectClassWithVendorExtensions) {
  ObjectClassDef def;
  std::string error;
  ASSERT_EQ(parseObjectClassDefinition(
                "(1.2.3 NAME ( 'a' 'b' ) DESC 'x ( y )' SUP top AUXILIARY MUST ( cn $ sn ) "
                "MAY description X-VRD_CONTAINMENT ( 'organization' 'treeRoot' ) "
                "X-VRD_NOT_CONTAINER '1' )",
                &def, &error),
            kSuccess)
      << error;
  EXPECT_EQ(def.oid, "1.2.3");
  EXPECT_EQ(def.names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(def.kind, ClassKind::kAuxiliary);
  EXPECT_EQ(def.must, (std::vector<std::string>{"cn", "sn"}));
  EXPECT_EQ(def.may, (std::vector<std::string>{"description"}));
  EXPECT_TRUE(def.has_containment);
  EXPECT_EQ(def.containment, (std::vector<std::string>{"organization", "treeRoot"}));
  EXPECT_TRUE(def.not_container);

  ASSERT_EQ(
      parseObjectClassDefinition("( 1.2.4 NAME 'c' X-VRD_CONTAINMENT 'treeRoot' )", &def, &error),
      kSuccess);
  EXPECT_EQ(def.containment, (std::vector<std::string>{"treeRoot"}));
  EXPECT_EQ(def.kind, ClassKind::kStructural);
}

TEST(SchemaDefinitionTest, MalformedDefinitionsAreRefused) {
  AttributeTypeDef def;
  std::string error;
  for (const char* bad :
       {"", "1.2.3 NAME 'x'", "( 1.2.3 NAME 'x'", "( 1.2.3 NAME 'x ) ", "( 1.2.3 NAME x )",
        "( 1.2.3 FROB 'x' )", "( 1.2.3 ) trailing", "( 1.2.3 SUP ( a $ b )", "( 'quoted-oid' )"}) {
    EXPECT_EQ(parseAttributeTypeDefinition(bad, &def, &error), kInvalidAttributeSyntax) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(SchemaDefinitionTest, CanonicalTextIgnoresBlanksOutsideQuotes) {
  EXPECT_EQ(canonicalDefinitionText("(1.2 NAME  'a'\tSYNTAX 1.3)"),
            canonicalDefinitionText("( 1.2 NAME 'a' SYNTAX 1.3 )"));
  EXPECT_NE(canonicalDefinitionText("( 1.2 DESC 'a  b' )"),
            canonicalDefinitionText("( 1.2 DESC 'a b' )"));
  EXPECT_TRUE(definitionHasName("( 1.2 NAME ( 'one' 'Two' ) )", "two"));
  EXPECT_TRUE(definitionHasName("( 1.2 NAME 'one' )", "1.2"));
  EXPECT_FALSE(definitionHasName("( 1.2 NAME 'oneMore' )", "one"));
}

TEST(SchemaRegistryTest, AddRemoveAndContainmentInheritance) {
  Schema schema = builtinSchema();
  std::string error;
  EXPECT_EQ(schema.addObjectClass("( 9.1 NAME 'top' )", &error), kAttributeOrValueExists);
  EXPECT_EQ(schema.addAttributeType("( 2.5.4.3 NAME 'other' )", &error), kAttributeOrValueExists);
  ASSERT_EQ(schema.addObjectClass("( 9.2 NAME 'derived' SUP organizationalUnit )", &error),
            kSuccess);
  const std::vector<std::string>* list = schema.containmentOf(*schema.objectClass("DERIVED"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->front(), "organization");
  EXPECT_EQ(schema.classDepth(*schema.objectClass("inetOrgPerson")), 3);

  EXPECT_EQ(schema.attributeKey("commonName"), "cn");
  EXPECT_EQ(schema.matchRule("acl"), MatchRule::kCaseExact);
  EXPECT_EQ(schema.removeAttributeType("( 1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX "
                                       "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )"),
            kSuccess);
  EXPECT_EQ(schema.attributeType("gidnumber"), nullptr);
  EXPECT_EQ(schema.removeAttributeType("( 9.9 NAME 'gone' )"), kNoSuchAttribute);
}

}  // namespace
}  // namespace ombrel
