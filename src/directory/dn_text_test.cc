#include "directory/dn_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "base/host_test_support.h"
#include "directory/dn_split.h"

namespace {

using namespace std::string_literals;

TEST(DnText, HostNamesAreEscapedForDnsAndFilters) {
  // The name, its DN value and its filter value.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"kivhost", "kivhost", "kivhost"},
      {"a,b+c\"d;e<f>g=h", "a\\,b\\+c\\\"d\\;e\\<f\\>g\\=h", "a,b+c\"d;e<f>g=h"},
      {"a\\2c", "a\\\\2c", "a\\5c2c"},
      {"a*", "a*", "a\\2a"},
      {"(x)", "(x)", "\\28x\\29"},
      {"#x#", "\\#x#", "#x#"},
      {" x ", "\\ x\\ ", " x "},
      {" ", "\\ ", " "},
      {"a\0b"s, "a\\00b", "a\\00b"},
      {"h\xc3\xbcst", "h\xc3\xbcst", "h\xc3\xbcst"}};
  for (const auto& [name, dnValue, filterValue] : cases) {
    EXPECT_EQ(escapeDnValue(name), dnValue) << name;
    EXPECT_EQ(escapeFilterValue(name), filterValue) << name;
  }
  EXPECT_EQ(workstationDn("a,b", "ou=ws,o=corp"), "cn=UNIX Workstation - a\\,b,ou=ws,o=corp");
  EXPECT_EQ(workstationDn("h", ""), "cn=UNIX Workstation - h");
  EXPECT_EQ(workstationFilter("qupPosixWorkstation", "*"),
            "(&(objectClass=qupPosixWorkstation)(cn=UNIX Workstation - \\2a))");
}

TEST(DnText, ShortHostNameEndsAtTheFirstDot) {
  RecordingHost host;
  std::string name;
  // The longest name the system keeps, 64 bytes, is read whole.
  for (const std::string& full : Lines{"ws1.example.org", "ws1", "ws1.", std::string(64, 'w')}) {
    host.name = full;
    EXPECT_EQ(readShortHostName(host, "unused", name), 0);
    EXPECT_EQ(name, full.substr(0, full.find('.')));
  }
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  // Nothing before the first dot would name the object of every host.
  host.name = ".x";
  EXPECT_EQ(readShortHostName(host, "unused", name), -5999);
  host.hostNameError = EIO;
  EXPECT_EQ(readShortHostName(host, "Couldn't get the hostname", name), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "The host name \".x\" has no short name before its first dot\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Couldn't get the hostname: Input/output error\n");
}

TEST(DnSplit, RdnsFirstToLastWithTheirLevels) {
  // Each RDN as "rdn|level|type|value|+ " with "+" for several values, the
  // first RDN first; "!" for a DN that is refused.
  const std::pair<std::string, std::string> cases[] = {
      {"ou=Unix,ou=Sales,o=Corp",
       "ou=Unix|ou=Unix,ou=Sales,o=Corp|ou|Unix| ou=Sales|ou=Sales,o=Corp|ou|Sales| "
       "o=Corp|o=Corp|o|Corp| "},
      {"OU=Sales\\, EMEA, o=corp",
       "OU=Sales\\, EMEA|OU=Sales\\, EMEA, o=corp|OU|Sales, EMEA| o=corp|o=corp|o|corp| "},
      {"ou=a\\2cb\\\\,o=c", "ou=a\\2cb\\\\|ou=a\\2cb\\\\,o=c|ou|a,b\\| o=c|o=c|o|c| "},
      {"ou=a+l=b,o=c", "ou=a+l=b|ou=a+l=b,o=c|ou|a|+ o=c|o=c|o|c| "},
      {"", ""},
      {"no equals sign", "!"},
      {"ou=x;o=y", "!"},
      {"cn=\"a,b\",o=c", "!"}};
  for (const auto& [dn, expected] : cases) {
    std::vector<RdnPart> parts;
    std::string seen = splitDn(dn, parts) == 0 ? "" : "!";
    for (const RdnPart& part : parts) {
      seen += part.rdn + "|" + part.levelDn + "|" + part.type + "|" + part.value + "|" +
              (part.multiValued ? "+ " : " ");
    }
    EXPECT_EQ(seen, expected) << dn;
  }
}

}  // namespace
