#include "fault_rules.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(FaultRulesTest, ParsesCountsAndMatchesNormalisedDns) {
  std::vector<FaultRule> rules(3);
  std::string error;
  ASSERT_EQ(parseFaultRule("modify:OU=WS, O=Corp:50:2", &rules[0], &error), 0) << error;
  ASSERT_EQ(parseFaultRule("extended:1.3.6.1.4.1.32473.1.27.100.49:1", &rules[1], &error), 0);
  ASSERT_EQ(parseFaultRule("ANY:*:80", &rules[2], &error), 0);
  EXPECT_EQ(takeFault(&rules, "modify", "ou=ws,o=corp"), 50);
  EXPECT_EQ(takeFault(&rules, "modify", "ou=WS,o=CORP"), 50);
  EXPECT_EQ(takeFault(&rules, "modify", "ou=ws,o=corp"), 80);  // count used up
  EXPECT_EQ(takeFault(&rules, "extended", "1.3.6.1.4.1.32473.1.27.100.49"), 1);
  rules.pop_back();
  EXPECT_EQ(takeFault(&rules, "delete", "ou=ws,o=corp"), -1);
}

TEST(FaultRulesTest, RefusesMalformedRules) {
  FaultRule rule;
  std::string error;
  for (const char* bad : {"", "modify", "modify:o=corp", "modify:o=corp:x", "frob:*:1", "add::32",
                          "add:*:-1", "add:*:99999999999"}) {
    EXPECT_EQ(parseFaultRule(bad, &rule, &error), -1) << bad;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace ombrel
