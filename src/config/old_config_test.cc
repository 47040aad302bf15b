#include "config/old_config.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "base/run_settings.h"

namespace {

TEST(DottedToDn, Table) {
  // An untyped part grows by "ou=" or "o=" and each dot becomes a ",".
  const std::string longest(kNameBufferSize - 1 - 2, 'x');
  // A name that fits the buffer whose DN does not.
  std::string manyParts = "a";
  for (int i = 0; i < 300; ++i)
    manyParts += ".a";
  constexpr auto kConverted = DottedNameResult::kConverted;
  const std::tuple<std::string, DottedNameResult, std::string> cases[] = {
      {"a.b.c", kConverted, "ou=a,ou=b,o=c"},
      {"cn=x.o=y", kConverted, "cn=x,o=y"},
      {"a", kConverted, "o=a"},
      {"ws.c=de", kConverted, "ou=ws,c=de"},
      {"..a...b..", kConverted, "ou=a,o=b"},
      {longest, kConverted, "o=" + longest},
      {"", DottedNameResult::kNoParts, "unchanged"},
      {"...", DottedNameResult::kNoParts, "unchanged"},
      {longest + "x", DottedNameResult::kTooLong, "unchanged"},
      {manyParts, DottedNameResult::kTooLong, "unchanged"}};
  for (const auto& [dotted, result, expected] : cases) {
    std::string dn = "unchanged";
    EXPECT_EQ(dottedToDn(dotted, dn), result) << dotted;
    EXPECT_EQ(dn, expected) << dotted;
  }
}

}  // namespace
