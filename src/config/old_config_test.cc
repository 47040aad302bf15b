#include "config/old_config.h"

#include <gtest/gtest.h>

#include <string>

#include "base/run_settings.h"

namespace {

struct Case {
  std::string dotted;
  DottedNameResult result;
  std::string dn;
};

TEST(DottedToDn, Table) {
  // An untyped part grows by "ou=" or "o=" and each dot becomes a ",".
  std::string longest(kNameBufferSize - 1 - 2, 'x');
  // A name that fits the buffer whose DN does not.
  std::string manyParts;
  for (int i = 0; i < 300; ++i)
    manyParts += "a.";
  manyParts += "a";
  const Case cases[] = {
      {"a.b.c", DottedNameResult::kConverted, "ou=a,ou=b,o=c"},
      {"cn=x.o=y", DottedNameResult::kConverted, "cn=x,o=y"},
      {"a", DottedNameResult::kConverted, "o=a"},
      {"ws.c=de", DottedNameResult::kConverted, "ou=ws,c=de"},
      {"..a...b..", DottedNameResult::kConverted, "ou=a,o=b"},
      {"", DottedNameResult::kNoParts, "unchanged"},
      {"...", DottedNameResult::kNoParts, "unchanged"},
      {longest, DottedNameResult::kConverted, "o=" + longest},
      {longest + "x", DottedNameResult::kTooLong, "unchanged"},
      {manyParts, DottedNameResult::kTooLong, "unchanged"},
  };
  for (const Case& c : cases) {
    std::string dn = "unchanged";
    EXPECT_EQ(dottedToDn(c.dotted, dn), c.result) << c.dotted;
    EXPECT_EQ(dn, c.dn) << c.dotted;
  }
}

}  // namespace
