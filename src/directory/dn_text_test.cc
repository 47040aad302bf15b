#include "directory/dn_text.h"

#include <gtest/gtest.h>

#include "directory/dn_split.h"

namespace {

using namespace std::string_literals;

TEST(DnText, HostNamesAreEscapedForDnsAndFilters) {
  struct Case {
    std::string name, dnValue, filterValue;
  };
  const Case cases[] = {
      {"kivhost", "kivhost", "kivhost"},
      {"a,b+c\"d;e<f>g=h", "a\\,b\\+c\\\"d\\;e\\<f\\>g\\=h", "a,b+c\"d;e<f>g=h"},
      {"a\\2c", "a\\\\2c", "a\\5c2c"},
      {"a*", "a*", "a\\2a"},
      {"(x)", "(x)", "\\28x\\29"},
      {"#x#", "\\#x#", "#x#"},
      {" x ", "\\ x\\ ", " x "},
      {" ", "\\ ", " "},
      {"a\0b"s, "a\\00b", "a\\00b"},
      {"h\xc3\xbcst", "h\xc3\xbcst", "h\xc3\xbcst"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(escapeDnValue(c.name), c.dnValue) << c.name;
    EXPECT_EQ(escapeFilterValue(c.name), c.filterValue) << c.name;
  }
  EXPECT_EQ(workstationDn("a,b", "ou=ws,o=corp"), "cn=UNIX Workstation - a\\,b,ou=ws,o=corp");
  EXPECT_EQ(workstationDn("h", ""), "cn=UNIX Workstation - h");
  EXPECT_EQ(workstationFilter("qupPosixWorkstation", "*"),
            "(&(objectClass=qupPosixWorkstation)(cn=UNIX Workstation - \\2a))");
}

TEST(DnSplit, RdnsFirstToLastWithTheirLevels) {
  struct Case {
    std::string dn;
    int result;
    std::vector<std::string> rdns;  // "rdn | level | type | value | +" per RDN
  };
  const Case cases[] = {
      {"ou=Unix,ou=Sales,o=Corp",
       0,
       {"ou=Unix | ou=Unix,ou=Sales,o=Corp | ou | Unix | ",
        "ou=Sales | ou=Sales,o=Corp | ou | Sales | ", "o=Corp | o=Corp | o | Corp | "}},
      {"OU=Sales\\, EMEA, o=corp",
       0,
       {"OU=Sales\\, EMEA | OU=Sales\\, EMEA, o=corp | OU | Sales, EMEA | ",
        "o=corp | o=corp | o | corp | "}},
      {"ou=a\\2cb\\\\,o=c",
       0,
       {"ou=a\\2cb\\\\ | ou=a\\2cb\\\\,o=c | ou | a,b\\ | ", "o=c | o=c | o | c | "}},
      {"ou=a+l=b,o=c", 0, {"ou=a+l=b | ou=a+l=b,o=c | ou | a | +", "o=c | o=c | o | c | "}},
      {"", 0, {}},
      {"no equals sign", -1, {}},
      {"ou=x;o=y", -1, {}},
      {"cn=\"a,b\",o=c", -1, {}},
  };
  for (const Case& c : cases) {
    std::vector<RdnPart> parts;
    EXPECT_EQ(splitDn(c.dn, parts), c.result) << c.dn;
    std::vector<std::string> seen;
    for (const RdnPart& part : parts) {
      seen.push_back(part.rdn + " | " + part.levelDn + " | " + part.type + " | " + part.value +
                     " | " + (part.multiValued ? "+" : ""));
    }
    EXPECT_EQ(seen, c.rdns) << c.dn;
  }
}

}  // namespace
