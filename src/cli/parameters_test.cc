#include "cli/parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/run_settings.h"
#include "cli/test_command_line.h"

namespace {

class ValueListTest : public ::testing::Test {
 protected:
  void SetUp() override { runSettings = RunSettings{}; }

  // The mode and list that parseValueList makes of `line`.
  std::pair<char, std::vector<std::string>> parse(CommandLine& line) {
    EXPECT_EQ(parseValueList(line.argc(), line.argv()), 0);
    std::vector<std::string> words;
    for (int i = 0; runSettings.valueList[i] != nullptr; ++i) {
      words.push_back(runSettings.valueList[i]);
    }
    EXPECT_EQ(static_cast<int>(words.size()), runSettings.valueCount);
    return {runSettings.valueListMode, words};
  }
};

using Words = std::vector<std::string>;

TEST_F(ValueListTest, GetModes) {
  CommandLine all{"get"};
  EXPECT_EQ(parse(all), std::make_pair('V', Words{}));
  CommandLine prefixed{"get", "-vx"};
  EXPECT_EQ(parse(prefixed), std::make_pair('V', Words{}));
  CommandLine named{"get", "a", "-vb"};
  EXPECT_EQ(parse(named), std::make_pair('v', Words{"a", "b"}));
}

TEST_F(ValueListTest, EmptyRemainderIsAnEmptyName) {
  CommandLine line{"get", "a", "-v"};
  EXPECT_EQ(parse(line), std::make_pair('v', Words{"a", ""}));
}

TEST_F(ValueListTest, HelpModes) {
  CommandLine all{"get", "help"};
  EXPECT_EQ(parse(all), std::make_pair('H', Words{}));
  CommandLine named{"get", "help", "a", "b=1", "-hc"};
  EXPECT_EQ(parse(named), std::make_pair('h', Words{"a", "c"}));
}

TEST_F(ValueListTest, SetWords) {
  CommandLine line{"set", "a=1", "-sb=2", "-s c=3"};
  EXPECT_EQ(parse(line), std::make_pair('s', Words{"a=1", "b=2"}));
}

using ValueListDeathTest = ValueListTest;

TEST_F(ValueListDeathTest, MoreWordsThanTheListHoldsAreRefused) {
  std::vector<std::string> words{"get"};
  for (int i = 0; i < 64; ++i)
    words.push_back("p" + std::to_string(i));
  std::vector<char*> argv{const_cast<char*>("kivconfig")};
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  EXPECT_EXIT(parseValueList(static_cast<int>(argv.size() - 1), argv.data()),
              ::testing::ExitedWithCode(1), "Too many parameters");
}

}  // namespace
