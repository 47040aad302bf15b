#include "ldif/reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Records = std::vector<std::string>;

// Reads every record of `fd` and closes it; a record holding a NUL byte ends
// in it. The reading ends with `last`.
Records readRecords(int fd, LdifReadResult last = LdifReadResult::kEndOfInput) {
  Records records;
  LdifInput input;
  input.fd = fd;
  LdifRecord record;
  LdifReadResult result;
  while ((result = readLdifRecord(&input, &record)) == LdifReadResult::kRecord) {
    EXPECT_EQ(*record.end, '\0');
    EXPECT_EQ(record.nul, record.end[-1] == '\0' ? record.end - 1 : nullptr);
    records.emplace_back(record.text, record.end);
  }
  EXPECT_EQ(result, last);
  EXPECT_EQ(input.error, last == LdifReadResult::kReadError ? EISDIR : 0);
  close(fd);
  return records;
}

// The records of an in-memory file holding `bytes`.
Records readRecords(const std::string& bytes) {
  int fd = memfd_create("ldif", MFD_CLOEXEC);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
  return readRecords(fd);
}

// The logical lines of one record, fold markers kept; "!" follows a line
// that holds the record's NUL byte.
std::vector<std::string> logicalLines(std::string text) {
  std::vector<std::string> lines;
  size_t nul = text.find('\0');
  LdifRecord record{text.data(), text.data() + text.size(),
                    nul != std::string::npos ? text.data() + nul : nullptr};
  LdifLine line;
  while (nextLdifLine(&record, &line)) {
    EXPECT_EQ(line.text[line.length], '\0');
    lines.emplace_back(std::string(line.text, line.length) + (line.holdsNul ? "!" : ""));
  }
  return lines;
}

// The one logical line of `text` parsed: "type=value", "type" for an absent
// value, or "!" when the line is refused.
std::string parsed(std::string text) {
  LdifRecord record{text.data(), text.data() + text.size()};
  LdifLine line;
  EXPECT_TRUE(nextLdifLine(&record, &line)) << text;
  LdifField field;
  field.type = line.text;
  std::string result = "!";
  if (parseLdifLine(line, &field) != 0) {
    EXPECT_EQ(field.type, nullptr);
  } else {
    EXPECT_EQ(field.type[field.typeLength], '\0');
    result = std::string(field.type, field.typeLength);
    if (field.value != nullptr) {
      EXPECT_EQ(field.value[field.valueLength], '\0');
      result += "=" + std::string(field.value, field.valueLength);
    }
  }
  EXPECT_FALSE(nextLdifLine(&record, &line)) << text;
  return result;
}

TEST(ReadLdifRecord, SplitsRecordsAtBlankLines) {
  std::string longRecord;
  for (int i = 0; i < 3000; ++i) {
    longRecord += "description: value " + std::to_string(i) + "\n";
  }
  auto lineOf = [](size_t length) { return "cn: " + std::string(length - 4, 'x') + "\n"; };
  struct Case {
    std::string input;
    Records records;
  };
  const Case cases[] = {
      {"\n\ndn: a\ncn: b\n\n\n\ndn: c\n", {"dn: a\ncn: b\n", "dn: c\n"}},
      {"", {}},
      {"\n\n", {}},
      {"dn: a\ncn: b", {"dn: a\ncn: b"}},
      // A last line of one character counts as blank.
      {"dn: a\nx", {"dn: a\n"}},
      {"\r\ndn: a\r\ncn: b\r\n\r\n\r\ndn: c\r\n", {"dn: a\r\ncn: b\r\n", "dn: c\r\n"}},
      // Lines of any length stay inside their record.
      {"dn: a\n" + lineOf(4095) + "cn: b\n", {"dn: a\n" + lineOf(4095) + "cn: b\n"}},
      {"dn: a\n" + lineOf(4096) + "\ndn: b\n", {"dn: a\n" + lineOf(4096), "dn: b\n"}},
      {lineOf(100000) + lineOf(4095) + "\r\n" + lineOf(4094),
       {lineOf(100000) + lineOf(4095), lineOf(4094)}},
      {longRecord + "\n" + longRecord + "\ndn: b\n", {longRecord, longRecord, "dn: b\n"}},
      // A NUL byte ends its record and the input.
      {"dn: a\n\ndn: b\ndescription: abc\0XYZ\ntelephoneNumber: 123\n\ndn: c\n"s,
       {"dn: a\n", "dn: b\ndescription: abc\0"s}},
      {"\0\n"s, {"\0"s}},
      {"dn: a\n\0"s, {"dn: a\n\0"s}},
      {"\n\n" + std::string(200000, '\0'), {"\0"s}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readRecords(c.input), c.records) << c.input.substr(0, 60);
  }
}

TEST(ReadLdifRecord, RecordsAcrossReadsStayWhole) {
  // Records of growing length put their line ends, blank lines and CR LF
  // pairs at every offset of the reads.
  std::string input;
  Records records;
  for (size_t i = 0; input.size() < 3 * kLdifBufferSize; ++i) {
    records.push_back("dn: " + std::string(i % 97 + 1, 'a') + "\r\n cn: " + std::to_string(i) +
                      "\r\n");
    input += records.back() + (i % 3 == 0 ? "\r\n" : "\n\n");
  }
  EXPECT_EQ(readRecords(input), records);
}

TEST(ReadLdifRecord, EndsAtReadErrors) {
  EXPECT_EQ(readRecords(open(testing::TempDir().c_str(), O_RDONLY), LdifReadResult::kReadError),
            Records{});
}

TEST(NextLdifLine, UnfoldsAndDropsComments) {
  struct Case {
    std::string record;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"dn: a\r\ncn: b\r\n", {"dn: a", "cn: b"}},
      {"# one\n continued\ndn: a\n#two\ncn: #x\n", {"dn: a", "cn: #x"}},
      {"# only\n", {}},
      {"dn: a\ndescription: abc\0"s, {"dn: a", "description: abc\0!"s}},
      {"#\0\ncn: x\n"s, {"#\0!"s, "cn: x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(logicalLines(c.record), c.lines) << c.record;
  }
  LdifRecord exhausted;
  LdifLine line;
  EXPECT_FALSE(nextLdifLine(&exhausted, &line));
}

// Each case is a logical line and, after the last "|", what parsed() makes
// of it.
TEST(ParseLdifLine, TypesAndValues) {
  std::string longValue(100000, 'v');
  const std::string cases[] = {
      "cn: value  |cn=value  ", "  cn  \t: x|cn=x", ":x|=x", "cn:x:y|cn=x:y",
      "cn;lang-en: x|cn;lang-en=x", "cn:|cn=", "cn:  |cn", "cn::|cn", "cn:: |cn", "cn:<|cn",
      "cn: a\rb\r\n|cn=a\rb", "cn: \xc3\x28|cn=\xc3\x28",
      // Folding drops the line end and one white-space character.
      "cn: ab\n cd\n|cn=abcd", "cn: ab\n  cd\n|cn=ab cd", "cn: ab\n\tcd\n|cn=abcd",
      "cn:\n  x\n|cn= x", "cn: ab\n   \n|cn=ab  ", "cn: a\n b\n c|cn=abc",
      "cn: ab\r\n cd\r\n|cn=abcd", "cn: ab\r\n  cd\r\n|cn=ab cd", "cn: ab\r\n \r\n|cn=ab",
      "c\n n: x\n|c\x01\x01n=x",
      "cn: " + longValue + "\n " + longValue + "\n|cn=" + longValue + longValue,
      // Base64.
      "cn:: Zm9v|cn=foo", "cn:: Zm9vYmFy|cn=foobar", "cn:: Zg==|cn=f", "cn:: Zm8=|cn=fo",
      "cn:: Zg==Zm9v|cn=f", "cn:: AAA=|cn=\0\0"s, "cn:: +/+/|cn=\xfb\xff\xbf",
      "cn:: Zm9v\n YmFy\n|cn=foobar",
      // Refused lines.
      "no colon|!", "cn:< file:///etc/passwd|!", "cn:: Zm9|!", "cn:: Zm=|!", "cn:: Zm9v Zm9v|!",
      "cn:: Zm9\xc3\xa9|!", "cn:: ==Zm|!", "cn:: Z===|!", "cn:: Zm9v!|!"};
  for (const std::string& c : cases) {
    size_t bar = c.rfind('|');
    EXPECT_EQ(parsed(c.substr(0, bar)), c.substr(bar + 1)) << c.substr(0, 60);
  }
}

}  // namespace
