#include "cli/parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/run_settings.h"
#include "cli/test_command_line.h"

namespace {

using Words = std::vector<std::string>;

// The mode and the value list that parseValueList makes of `words`.
std::string parsed(Words words) {
  runSettings = RunSettings{};
  std::vector<char*> argv = argvOf(words);
  EXPECT_EQ(parseValueList(static_cast<int>(argv.size() - 1), argv.data()), 0);
  std::string list(1, runSettings.valueListMode);
  for (int i = 0; runSettings.valueList[i] != nullptr; ++i)
    list += std::string(" [") + runSettings.valueList[i] + "]";
  EXPECT_EQ(runSettings.valueCount, static_cast<int>(std::count(list.begin(), list.end(), '[')));
  return list;
}

TEST(ValueList, ModeAndWords) {
  const std::pair<Words, const char*> rows[] = {
      {{"get"}, "V"},
      {{"get", "-vx"}, "V"},
      {{"get", "a", "-vb"}, "v [a] [b]"},
      {{"get", "a", "-v"}, "v [a] []"},
      // No remainder, or one that opens with white space: nothing.
      {{"get", "a", "-x", "-v b"}, "v [a]"},
      {{"get", "help"}, "H"},
      {{"get", "help", "-hx"}, "H"},
      {{"get", "help", "a", "b=1", "-hc"}, "h [a] [c]"},
      {{"set", "a=1", "-sb=2", "-s c=3"}, "s [a=1] [b=2]"},
  };
  for (const auto& [words, list] : rows)
    EXPECT_EQ(parsed(words), list) << words.back();
}

TEST(ValueListDeathTest, SixtyThreeWordsFitAndMoreAreRefused) {
  Words words{"get"};
  for (int i = 1; i < kValueListSlots; ++i)
    words.push_back("p" + std::to_string(i));
  parsed(words);
  EXPECT_EQ(runSettings.valueCount, kValueListSlots - 1);
  words.push_back("last");
  std::vector<char*> argv = argvOf(words);
  EXPECT_EXIT(parseValueList(static_cast<int>(argv.size() - 1), argv.data()),
              ::testing::ExitedWithCode(1), "Too many parameters");
}

}  // namespace
