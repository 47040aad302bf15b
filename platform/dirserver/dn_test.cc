#include "dn.h"

#include <gtest/gtest.h>

#include "result_codes.h"

namespace ombrel {
namespace {

std::string norm(const std::string& text) {
  std::string out;
  EXPECT_EQ(normalizeDn(text, &out), kSuccess) << text;
  return out;
}

TEST(DnTest, EquivalentSpellingsNormaliseAlike) {
  EXPECT_EQ(norm("CN=UNIX Workstation - Host1 , OU=WS,o=Corp"),
            "cn=unix workstation - host1,ou=ws,o=corp");
  EXPECT_EQ(norm("cn=a  b,o=x"), norm("cn= a b ,o=x"));
  EXPECT_EQ(norm("cn=a+sn=b,o=x"), norm("SN=B+cn=A,o=x"));
  EXPECT_EQ(norm("o=a;o=b"), "o=a,o=b");
  EXPECT_EQ(norm("cn=\"quoted, name\",o=x"), norm("cn=quoted\\, name,o=x"));
  EXPECT_EQ(norm(""), "");
  EXPECT_EQ(norm("   "), "");
}

TEST(DnTest, EscapesSurviveNormalisation) {
  EXPECT_EQ(norm("cn=a\\,b,o=x"), "cn=a\\,b,o=x");
  EXPECT_EQ(norm("cn=\\41bc,o=x"), "cn=abc,o=x");
  EXPECT_EQ(norm("cn=\\23hash,o=x"), "cn=\\#hash,o=x");
  EXPECT_EQ(norm("cn=trailing\\ ,o=x"), "cn=trailing,o=x");
  EXPECT_EQ(norm("cn=caf\\C3\\A9,o=x"), "cn=caf\xc3\xa9,o=x");
}

TEST(DnTest, InvalidSyntaxIsRefused) {
  std::string out;
  for (const char* bad :
       {"cn", "=x", "cn=", "cn=a,", ",o=x", "cn=a,,o=x", "1cn=a", "cn=a\\", "cn=a\\zz", "cn=\"open",
        "cn=a=b", "not a dn", "cn=\xff\xfe", "cn=\xc3", "cn=\xed\xa0\x80"}) {
    EXPECT_EQ(normalizeDn(bad, &out), kInvalidDnSyntax) << bad;
  }
}

TEST(DnTest, OverlyDeepNamesAreRefused) {
  std::string deep;
  for (size_t i = 0; i < kMaxRdns; ++i)
    deep += "ou=x,";
  std::string out;
  EXPECT_EQ(normalizeDn(deep + "o=corp", &out), kInvalidDnSyntax);
  EXPECT_EQ(normalizeDn(deep.substr(5) + "o=corp", &out), kSuccess);
}

TEST(DnTest, RawRdnsAndParentsKeepTheClientsSpelling) {
  ParsedDn dn;
  ASSERT_EQ(parseDn(" CN=Box , OU=Sales,O=Corp", &dn), kSuccess);
  ASSERT_EQ(dn.rdns.size(), 3u);
  EXPECT_EQ(dn.rdns[0].raw, "CN=Box");
  EXPECT_EQ(rawDn(dn, 1), "OU=Sales,O=Corp");
  EXPECT_EQ(normalizedDn(dn, 1), "ou=sales,o=corp");
  EXPECT_EQ(normalizedDn(dn, 3), "");
}

}  // namespace
}  // namespace ombrel
