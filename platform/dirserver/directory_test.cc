#include "directory.h"

#include <gtest/gtest.h>

#include "ldif_io.h"

namespace ombrel {
namespace {

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.schema = builtinSchema();
    std::string error;
    ASSERT_EQ(loadLdif(&dir_,
                       "dn: o=corp\nobjectClass: organization\no: corp\n\n"
                       "dn: ou=a,o=corp\nobjectClass: organizationalUnit\nou: a\n\n"
                       "dn: cn=p,ou=a,o=corp\nobjectClass: inetOrgPerson\ncn: p\nsn: p\n",
                       &error),
              0)
        << error;
  }
  int add(const std::string& dn, std::vector<Attribute> attributes) {
    OpResult result;
    return addEntry(&dir_, dn, attributes, &result);
  }
  int modify(const std::string& dn, std::vector<Change> changes) {
    OpResult result;
    return modifyEntry(&dir_, dn, changes, &result);
  }

  Directory dir_;
};

TEST_F(DirectoryTest, AddChecksSchemaAndContainment) {
  EXPECT_EQ(add("ou=b,o=corp", {{"objectClass", {"organizationalUnit"}}}), kSuccess);
  EXPECT_EQ(dir_.entries.at("ou=b,o=corp").values("ou")->front(), "b");  // RDN value added
  EXPECT_EQ(add("ou=b,o=corp", {{"objectClass", {"organizationalUnit"}}}), kEntryAlreadyExists);
  EXPECT_EQ(add("ou=c,o=corp", {{"objectClass", {"posixAccount"}}}), kObjectClassViolation);
  EXPECT_EQ(add("ou=c,o=corp", {{"objectClass", {"organizationalUnit"}}, {"x-y", {"1"}}}),
            kUndefinedAttributeType);
  EXPECT_EQ(add("ou=c,cn=p,ou=a,o=corp", {{"objectClass", {"organizationalUnit"}}}),
            kUnwillingToPerform);
  EXPECT_EQ(add("ou=top", {{"objectClass", {"organizationalUnit"}}}), kUnwillingToPerform);
  EXPECT_EQ(add("dc=top", {{"objectClass", {"domain"}}}), kSuccess);
  OpResult result;
  EXPECT_EQ(
      addEntry(&dir_, "ou=x,ou=gone,o=corp", {{"objectClass", {"organizationalUnit"}}}, &result),
      kNoSuchObject);
  EXPECT_EQ(result.matched_dn, "o=corp");
  EXPECT_EQ(add("cn=schema", {{"objectClass", {"organizationalUnit"}}}), kUnwillingToPerform);
}

TEST_F(DirectoryTest, ValuesMustFitTheirSyntax) {
  auto ou = [this](const std::string& type, const std::string& value) {
    return add("ou=s,o=corp", {{"objectClass", {"organizationalUnit"}}, {type, {value}}});
  };
  EXPECT_EQ(ou("description", "caf\xc3"), kInvalidAttributeSyntax);
  EXPECT_EQ(ou("description", ""), kInvalidAttributeSyntax);
  EXPECT_EQ(ou("ou", std::string(1, '\0')), kSuccess);  // NUL is valid UTF-8
  EXPECT_EQ(modify("o=corp", {{Change::kReplace, "shadowMax", {"12x"}}}), kInvalidAttributeSyntax);
  EXPECT_EQ(modify("o=corp", {{Change::kReplace, "mail", {"\xe2\x82\xac@x"}}}),
            kInvalidAttributeSyntax);
  EXPECT_EQ(modify("o=corp", {{Change::kReplace, "shadowMax;x-opt", {"-12"}}}), kSuccess);
  EXPECT_EQ(dir_.entries.at("o=corp").values("shadowmax")->front(), "-12");
}

TEST_F(DirectoryTest, ModifyIsAllOrNothing) {
  EXPECT_EQ(modify("o=corp", {{Change::kAdd, "ACL", {"1#a"}}}), kSuccess);
  EXPECT_EQ(modify("o=corp",
                   {{Change::kAdd, "description", {"new"}}, {Change::kAdd, "ACL", {"2#b", "1#a"}}}),
            kAttributeOrValueExists);
  EXPECT_EQ(dir_.entries.at("o=corp").values("description"), nullptr);
  EXPECT_EQ(modify("o=corp", {{Change::kAdd, "acl", {"1#A"}}}), kSuccess);  // exact match
  EXPECT_EQ(modify("o=corp", {{Change::kDelete, "ACL", {"9#z"}}}), kNoSuchAttribute);
  EXPECT_EQ(modify("o=corp", {{Change::kDelete, "ACL", {}}}), kSuccess);
  EXPECT_EQ(modify("o=corp", {{Change::kDelete, "ACL", {}}}), kNoSuchAttribute);
  EXPECT_EQ(modify("o=corp", {{Change::kReplace, "objectClass", {"noSuchClass"}}}),
            kUndefinedAttributeType);
  EXPECT_EQ(modify("o=gone", {{Change::kReplace, "description", {"x"}}}), kNoSuchObject);
}

TEST_F(DirectoryTest, SchemaModifyIsAtomicAndTakesEffect) {
  const std::string box = "( 9.1 NAME 'box' SUP top STRUCTURAL X-VRD_CONTAINMENT 'treeRoot' )";
  EXPECT_EQ(modify("cn=schema", {{Change::kAdd, "objectClasses", {box}},
                                 {Change::kDelete, "attributeTypes", {"( 9.2 NAME 'no' )"}}}),
            kNoSuchAttribute);
  EXPECT_EQ(dir_.schema.objectClass("box"), nullptr);
  EXPECT_EQ(modify("cn=schema", {{Change::kAdd, "OBJECTCLASSES", {box}}}), kSuccess);
  EXPECT_EQ(add("cn=b1", {{"objectClass", {"box"}}}), kSuccess);
  EXPECT_EQ(modify("cn=schema", {{Change::kDelete,
                                  "objectClasses",
                                  {"(9.1 NAME 'box' SUP top "
                                   "STRUCTURAL X-VRD_CONTAINMENT "
                                   "'treeRoot')"}}}),
            kSuccess);
  EXPECT_EQ(add("cn=b2", {{"objectClass", {"box"}}}), kUndefinedAttributeType);
  EXPECT_EQ(modify("cn=schema", {{Change::kReplace, "objectClasses", {box}}}), kUnwillingToPerform);
}

TEST_F(DirectoryTest, RenameMovesSubtreesAndKeepsRdnValues) {
  OpResult result;
  ASSERT_EQ(add("ou=b,o=corp", {{"objectClass", {"organizationalUnit"}}}), kSuccess);
  EXPECT_EQ(renameEntry(&dir_, "ou=a,o=corp", "ou=b", true, std::nullopt, &result),
            kEntryAlreadyExists);
  EXPECT_EQ(
      renameEntry(&dir_, "ou=a,o=corp", "ou=z", true, std::string("cn=p,ou=a,o=corp"), &result),
      kUnwillingToPerform);
  ASSERT_EQ(
      renameEntry(&dir_, "ou=a,o=corp", "OU=Moved", false, std::string("ou=b,o=corp"), &result),
      kSuccess)
      << result.message;
  const Entry& child = dir_.entries.at("cn=p,ou=moved,ou=b,o=corp");
  EXPECT_EQ(child.dn, "cn=p,OU=Moved,ou=b,o=corp");
  EXPECT_EQ(dir_.entries.at("ou=moved,ou=b,o=corp").values("ou")->size(), 2u);  // a kept
  EXPECT_EQ(deleteEntry(&dir_, "ou=moved,ou=b,o=corp", &result), kNotAllowedOnNonLeaf);
  EXPECT_EQ(deleteEntry(&dir_, "cn=p,ou=moved,ou=b,o=corp", &result), kSuccess);
  EXPECT_EQ(deleteEntry(&dir_, "ou=a,o=corp", &result), kNoSuchObject);
}

}  // namespace
}  // namespace ombrel
