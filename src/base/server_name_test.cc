#include "base/server_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ServerName, AcceptsOnlyHostNamesAndAddresses) {
  std::string longest;
  while (longest.size() + 10 < kMaxServerNameLength)
    longest += "abcdefghi.";
  longest += std::string(kMaxServerNameLength - longest.size(), 'z');
  const std::pair<std::string, bool> cases[] = {
      {"localhost", true},
      {"DIR-01.Example", true},
      {"ad_site.corp", true},
      {std::string(63, 'a') + ".example", true},
      {std::string(64, 'a') + ".example", false},
      {longest, true},
      {longest + "z", false},
      {"127.0.0.1", true},
      {"[::1]", true},
      {"[::ffff:192.0.2.7]", true},
      {"", false},
      {"dir example", false},
      {"evil\ncache-only=yes", false},
      {std::string("a\0b", 3), false},
      {"dir\x7f", false},
      {"caf\xc3\xa9.example", false},
      {"-dir.example", false},
      {"dir-.example", false},
      {"dir..example", false},
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
  for (const auto& [name, valid] : cases)
    EXPECT_EQ(isValidServerName(name), valid) << '"' << name << '"';
}

}  // namespace
