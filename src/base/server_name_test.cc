#include "base/server_name.h"

#include <gtest/gtest.h>

#include "base/host_test_support.h"

namespace {

using namespace std::string_literals;

TEST(ServerName, AcceptsOnlyHostNamesAndAddresses) {
  std::string longest;
  while (longest.size() + 10 < kMaxServerNameLength)
    longest += "abcdefghi.";
  longest += std::string(kMaxServerNameLength - longest.size(), 'z');
  const std::string label63 = std::string(63, 'a') + ".example", label64 = "a" + label63;
  const std::string tooLong = longest + "z", lineEnd = "evil\ncache-only=yes", nul = "a\0b"s;
  const std::string accepted[] = {
      "localhost", "DIR-01.Example", "ad_site.corp", label63,
      longest,     "127.0.0.1",      "[::1]",        "[::ffff:192.0.2.7]"};
  for (const std::string& name : accepted)
    EXPECT_TRUE(isValidServerName(name)) << '"' << name << '"';
  const std::string refused[] = {
      label64,          tooLong,      lineEnd,  nul,        "",     "dir example", "dir\x7f",
      "caf\xc3\xa9.x",  "-dir.x",     "dir-.x", "dir..x",   "dir.", "a,b",         "dir/x",
      "dir:389",        "1.2.3.999",  "10.1.2", "01.2.3.4", "::1",  "[::1",        "[dir.example]",
      "[fe80::1%eth0]", "[127.0.0.1]"};
  for (const std::string& name : refused)
    EXPECT_FALSE(isValidServerName(name)) << '"' << name << '"';
}

// The refused name reaches the terminal and the log with every byte outside printable
// ASCII, and the quote and backslash that would confuse its reading, written as \xNN.
TEST(ServerName, RefusedNameIsShownEscaped) {
  RecordingHost host;
  testing::internal::CaptureStdout();
  reportInvalidServerName(host, std::string("a\"b\\c\n\x7f\xc3\xa9\0 ~", 12));
  std::string said =
      "The LDAP server name \"a\\x22b\\x5Cc\\x0A\\x7F\\xC3\\xA9\\x00 ~\" is not valid: give a host "
      "name, an IPv4 address or an IPv6 address in brackets\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), said);
  EXPECT_EQ(host.logLines, std::vector<std::string>{said});
}

}  // namespace
