#include <gtest/gtest.h>
#include <locale.h>
#include <string.h>

#include <string>

#include "kiv.h"

namespace {

// Converts into a 32-byte buffer of which only dstsize bytes may be written;
// what a conversion gives is the source itself, a failure an empty text.
TEST(KivCharsetTest, ConvertsWhatFitsAndTheLocaleHoldsAndNothingElse) {
  const char* kEAcute = "caf\xc3\xa9";
  const int kFails = -1;  // any negative result
  struct Row {
    const char* locale;
    const char* source;
    size_t dstsize;
    int result;
  };
  const Row rows[] = {{"C.UTF-8", kEAcute, 32, 5},      {"C.UTF-8", "a\xffz", 32, kFails},
                      {"C.UTF-8", "a\xc3", 32, kFails}, {"C.UTF-8", "", 1, 0},
                      {"C.UTF-8", kEAcute, 6, 5},       {"C.UTF-8", kEAcute, 5, kFails},
                      {"C.UTF-8", "a", 0, kFails},      {"C", "plain", 32, 5},
                      {"C", kEAcute, 32, kFails},       {"C.UTF-8", "abcdefghij", 4, kFails}};
  const std::string saved = setlocale(LC_ALL, nullptr);
  for (auto converter : {locs2utfs, utfs2locs}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.locale) + " " + row.source + " in " +
                   std::to_string(row.dstsize) + (converter == locs2utfs ? " to" : " from"));
      ASSERT_NE(setlocale(LC_ALL, row.locale), nullptr);
      char buffer[32];
      memset(buffer, 'X', sizeof buffer);
      int result = converter(buffer, row.source, row.dstsize);
      EXPECT_EQ(result < 0 ? kFails : result, row.result);
      if (row.dstsize > 0) {
        EXPECT_STREQ(buffer, result < 0 ? "" : row.source);
      }
      EXPECT_EQ(std::string(buffer + row.dstsize, sizeof buffer - row.dstsize),
                std::string(sizeof buffer - row.dstsize, 'X'));
    }
  }
  setlocale(LC_ALL, saved.c_str());
}

}  // namespace
