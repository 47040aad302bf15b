#include <gtest/gtest.h>
#include <locale.h>
#include <string.h>

#include <string>
#include <vector>

#include "kiv.h"

namespace {

using Converter = int (*)(char*, const char*, size_t);
constexpr const char* kEAcute = "caf\xc3\xa9";
constexpr int kFails = -1;  // any negative result

struct Row {
  const char* locale;
  Converter converter;
  const char* source;
  size_t dstsize;
  int result;  // the text converted is then the source itself
};

// Converts into a 32-byte buffer of which only dstsize bytes may be written.
TEST(KivCharsetTest, ConvertsWhatFitsAndTheLocaleHoldsAndNothingElse) {
  std::vector<Row> rows;
  for (Converter converter : {locs2utfs, utfs2locs}) {
    rows.insert(rows.end(), {{"C.UTF-8", converter, kEAcute, 32, 5},
                             {"C.UTF-8", converter, "a\xffz", 32, kFails},
                             {"C.UTF-8", converter, "a\xc3", 32, kFails},
                             {"C.UTF-8", converter, "", 1, 0},
                             {"C.UTF-8", converter, kEAcute, 6, 5},
                             {"C.UTF-8", converter, kEAcute, 5, kFails},
                             {"C.UTF-8", converter, "abcdefghij", 4, kFails},
                             {"C.UTF-8", converter, "a", 0, kFails},
                             {"C", converter, "plain", 32, 5},
                             {"C", converter, kEAcute, 32, kFails}});
  }
  rows.push_back({"C", utfs2locs, "a\xffz", 32, kFails});
  const std::string saved = setlocale(LC_ALL, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.locale) + " " + row.source + " in " + std::to_string(row.dstsize) +
                 (row.converter == locs2utfs ? " to" : " from") + " UTF-8");
    ASSERT_NE(setlocale(LC_ALL, row.locale), nullptr);
    char buffer[32];
    memset(buffer, 'X', sizeof buffer);
    int result = row.converter(buffer, row.source, row.dstsize);
    EXPECT_EQ(result < 0 ? kFails : result, row.result);
    if (row.dstsize > 0) {
      EXPECT_STREQ(buffer, result < 0 ? "" : row.source);
    }
    EXPECT_EQ(std::string(buffer + row.dstsize, sizeof buffer - row.dstsize),
              std::string(sizeof buffer - row.dstsize, 'X'));
  }
  setlocale(LC_ALL, saved.c_str());
}

}  // namespace
