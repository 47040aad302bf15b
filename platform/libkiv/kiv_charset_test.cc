#include <gtest/gtest.h>
#include <locale.h>
#include <string.h>

#include <string>

#include "kiv.h"

namespace {

constexpr const char* kEAcuteUtf8 = "caf\xc3\xa9";
constexpr const char* kInvalidUtf8 =
    "a\xff"
    "b";
constexpr const char* kTruncatedUtf8 = "a\xc3";

using Converter = int (*)(char*, const char*, size_t);

// Runs a conversion into a 32-byte buffer of which only `dstsize` bytes may be
// written; fails the test when anything beyond them changed.
int convert(Converter converter, const char* src, size_t dstsize, std::string& out) {
  char buffer[32];
  memset(buffer, 'X', sizeof buffer);
  int result = converter(buffer, src, dstsize);
  for (size_t i = dstsize; i < sizeof buffer; ++i) {
    EXPECT_EQ(buffer[i], 'X') << "byte " << i << " written past dstsize";
  }
  if (result < 0 && dstsize > 0) {
    EXPECT_EQ(buffer[0], '\0') << "failed conversion left text behind";
  }
  out.assign(buffer, dstsize > 0 ? strnlen(buffer, dstsize) : 0);
  return result;
}

class KivCharsetTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = setlocale(LC_ALL, nullptr); }
  void TearDown() override { setlocale(LC_ALL, saved_.c_str()); }
  void useLocale(const char* name) { ASSERT_NE(setlocale(LC_ALL, name), nullptr) << name; }

 private:
  std::string saved_;
};

TEST_F(KivCharsetTest, Utf8LocalePassesValidTextAndRejectsInvalid) {
  useLocale("C.UTF-8");
  std::string out;
  for (Converter converter : {locs2utfs, utfs2locs}) {
    EXPECT_EQ(convert(converter, kEAcuteUtf8, 32, out), 5);
    EXPECT_EQ(out, kEAcuteUtf8);
    EXPECT_LT(convert(converter, kInvalidUtf8, 32, out), 0);
    EXPECT_LT(convert(converter, kTruncatedUtf8, 32, out), 0);
    EXPECT_EQ(convert(converter, "", 1, out), 0);
  }
}

TEST_F(KivCharsetTest, AsciiLocaleRejectsWhatItCannotHold) {
  useLocale("C");
  std::string out;
  EXPECT_EQ(convert(locs2utfs, "plain", 32, out), 5);
  EXPECT_EQ(out, "plain");
  EXPECT_EQ(convert(utfs2locs, "plain", 32, out), 5);
  EXPECT_LT(convert(utfs2locs, kEAcuteUtf8, 32, out), 0);
  EXPECT_LT(convert(locs2utfs, kEAcuteUtf8, 32, out), 0);
  EXPECT_LT(convert(utfs2locs, kInvalidUtf8, 32, out), 0);
}

TEST_F(KivCharsetTest, OutputMustFitWithItsNul) {
  useLocale("C.UTF-8");
  std::string out;
  for (Converter converter : {locs2utfs, utfs2locs}) {
    EXPECT_EQ(convert(converter, kEAcuteUtf8, 6, out), 5);
    EXPECT_LT(convert(converter, kEAcuteUtf8, 5, out), 0);
    EXPECT_LT(convert(converter, "abcdefghij", 4, out), 0);
    EXPECT_LT(convert(converter, "a", 0, out), 0);
  }
}

}  // namespace
