#include "base/server_name.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/log.h"

namespace {

struct NameCase {
  std::string name;
  bool valid;
};

TEST(ServerName, AcceptsOnlyHostNamesAndAddresses) {
  std::string longest;
  while (longest.size() + 10 < kMaxServerNameLength)
    longest += "abcdefghi.";
  longest += std::string(kMaxServerNameLength - longest.size(), 'z');
  const NameCase cases[] = {
      {"localhost", true},
      {"dir.example.com", true},
      {"DIR-01.Example", true},
      {"ad_site.corp", true},
      {"3com.example", true},
      {std::string(63, 'a') + ".example", true},
      {std::string(64, 'a') + ".example", false},
      {longest, true},
      {longest + "z", false},
      {"127.0.0.1", true},
      {"255.255.255.255", true},
      {"[::1]", true},
      {"[2001:db8::7]", true},
      {"[::ffff:192.0.2.7]", true},
      {"", false},
      {"dir example", false},
      {"dir\texample", false},
      {"evil\ncache-only=yes", false},
      {std::string("a\0b", 3), false},
      {"dir\x7f", false},
      {"caf\xc3\xa9.example", false},
      {"-dir.example", false},
      {"dir-.example", false},
      {"dir..example", false},
      {".dir", false},
      {"dir.", false},
      {"a,b", false},
      {"dir/x", false},
      {"dir:389", false},
      {"1.2.3.999", false},
      {"10.1.2", false},
      {"01.2.3.4", false},
      {"::1", false},
      {"[::1", false},
      {"[dir.example]", false},
      {"[fe80::1%eth0]", false},
      {"[127.0.0.1]", false},
  };
  for (const NameCase& c : cases)
    EXPECT_EQ(isValidServerName(c.name), c.valid) << '"' << c.name << '"';
}

TEST(ServerName, RefusalShowsTheNameWithoutRawControlBytes) {
  std::string logFile = ::testing::TempDir() + "server_name_test.log";
  setLogFileForTesting(logFile.c_str());
  testing::internal::CaptureStdout();
  reportInvalidServerName("a b\n\"\\\x1b[2J");
  const std::string expected =
      "The LDAP server name \"a b\\x0A\\x22\\x5C\\x1B[2J\" is not valid: give a host name, an "
      "IPv4 address or an IPv6 address in brackets\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  std::stringstream logged;
  logged << std::ifstream(logFile).rdbuf();
  EXPECT_NE(logged.str().find(expected), std::string::npos) << logged.str();
  unlink(logFile.c_str());
}

}  // namespace
