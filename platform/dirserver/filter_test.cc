#include "filter.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

Filter assertion(Filter::Kind kind, const std::string& attribute, const std::string& value) {
  Filter f;
  f.kind = kind;
  f.attribute = attribute;
  f.value = value;
  return f;
}

Filter combine(Filter::Kind kind, std::vector<Filter> children) {
  Filter f;
  f.kind = kind;
  f.children = std::move(children);
  return f;
}

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    entry_.attributes["objectclass"] = {"objectClass", {"top", "inetOrgPerson"}};
    entry_.attributes["cn"] = {"cn", {"Jane  Doe"}};
    entry_.attributes["acl"] = {"ACL", {"3#subtree#[Public]#uidNumber"}};
    entry_.attributes["seealso"] = {"seeAlso", {"CN=X, O=Corp"}};
    entry_.attributes["shadowmax"] = {"shadowMax", {"99"}};
  }
  Truth eval(const Filter& f) { return evaluateFilter(f, entry_, schema_); }

  Schema schema_ = builtinSchema();
  Entry entry_;
};

TEST_F(FilterTest, EqualityFollowsTheAttributesMatchingRule) {
  EXPECT_EQ(eval(assertion(Filter::kEquality, "commonName", "jane doe")), Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kEquality, "ACL", "3#subtree#[Public]#uidNumber")),
            Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kEquality, "ACL", "3#subtree#[public]#uidnumber")),
            Truth::kFalse);
  EXPECT_EQ(eval(assertion(Filter::kEquality, "seeAlso", "cn=x,o=corp")), Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kEquality, "shadowMax", "099")), Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kGreaterOrEqual, "shadowMax", "100")), Truth::kFalse);
  EXPECT_EQ(eval(assertion(Filter::kLessOrEqual, "shadowMax", "100")), Truth::kTrue);
}

TEST_F(FilterTest, SubstringsAndPresence) {
  Filter f;
  f.kind = Filter::kSubstrings;
  f.attribute = "cn";
  f.has_initial = true;
  f.initial = "JA";
  f.any = {"e d"};
  f.has_final = true;
  f.final_part = "OE";
  EXPECT_EQ(eval(f), Truth::kTrue);
  f.any = {"doe"};
  EXPECT_EQ(eval(f), Truth::kFalse);  // "oe" may not overlap the any part
  EXPECT_EQ(eval(assertion(Filter::kPresent, "objectclass", "")), Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kPresent, "mail", "")), Truth::kFalse);
  EXPECT_EQ(eval(assertion(Filter::kPresent, "noSuchType", "")), Truth::kFalse);
}

TEST_F(FilterTest, UndefinedTypesGiveThreeValuedResults) {
  Filter undefined = assertion(Filter::kEquality, "noSuchType", "x");
  Filter yes = assertion(Filter::kEquality, "cn", "jane doe");
  EXPECT_EQ(eval(undefined), Truth::kUndefined);
  EXPECT_EQ(eval(combine(Filter::kNot, {undefined})), Truth::kUndefined);
  EXPECT_EQ(eval(combine(Filter::kOr, {undefined, yes})), Truth::kTrue);
  EXPECT_EQ(eval(combine(Filter::kAnd, {undefined, yes})), Truth::kUndefined);
  EXPECT_EQ(eval(combine(Filter::kAnd, {})), Truth::kTrue);
  EXPECT_EQ(eval(combine(Filter::kOr, {})), Truth::kFalse);
}

TEST_F(FilterTest, DefinitionsMatchByNameOrOid) {
  entry_.attributes["objectclasses"] = {"objectClasses", {"( 1.2.3 NAME ( 'box' 'crate' ) )"}};
  EXPECT_EQ(eval(assertion(Filter::kEquality, "objectClasses", "CRATE")), Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kEquality, "objectclasses", "1.2.3")), Truth::kTrue);
  EXPECT_EQ(eval(assertion(Filter::kEquality, "objectClasses", "bo")), Truth::kFalse);
  Filter printed = combine(Filter::kAnd, {assertion(Filter::kPresent, "cn", ""),
                                          assertion(Filter::kEquality, "cn", "a*(b)")});
  EXPECT_EQ(filterToString(printed), "(&(cn=*)(cn=a\\2a\\28b\\29))");
}

}  // namespace
}  // namespace ombrel
