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

// An in-memory file holding `bytes`, read from its start.
int memoryFile(const std::string& bytes) {
  int fd = memfd_create("ldif", MFD_CLOEXEC);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
  return fd;
}

// Reads every record of `fd` and closes it; a record holding a NUL byte ends
// in it.
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
  close(fd);
  return records;
}

Records readRecords(const std::string& bytes) {
  return readRecords(memoryFile(bytes));
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

struct Parsed {
  std::string type;
  std::optional<std::string> value;
  bool operator==(const Parsed&) const = default;
};

std::optional<Parsed> parse(const LdifLine& line) {
  LdifField field;
  field.type = line.text;
  if (parseLdifLine(line, &field) != 0) {
    EXPECT_EQ(field.type, nullptr);
    return std::nullopt;
  }
  EXPECT_EQ(field.type[field.typeLength], '\0');
  Parsed parsed{std::string(field.type, field.typeLength), std::nullopt};
  if (field.value != nullptr) {
    EXPECT_EQ(field.value[field.valueLength], '\0');
    parsed.value = std::string(field.value, field.valueLength);
  }
  return parsed;
}

// A whole logical line, as if its record held bytes of the fold marker's
// value.
std::optional<Parsed> parse(std::string line) {
  return parse(LdifLine{line.data(), line.size(), false, true});
}

// The value of the one logical line of `text`.
std::optional<std::string> valueOf(std::string text) {
  LdifRecord record{text.data(), text.data() + text.size()};
  LdifLine line;
  EXPECT_TRUE(nextLdifLine(&record, &line)) << text;
  std::optional<Parsed> parsed = parse(line);
  EXPECT_TRUE(parsed.has_value()) << text;
  EXPECT_FALSE(nextLdifLine(&record, &line)) << text;
  return parsed ? parsed->value : std::nullopt;
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
  LdifInput input;
  input.fd = open(testing::TempDir().c_str(), O_RDONLY | O_DIRECTORY);
  LdifRecord record;
  EXPECT_EQ(readLdifRecord(&input, &record), LdifReadResult::kReadError);
  EXPECT_EQ(input.error, EISDIR);
  EXPECT_EQ(record.text, nullptr);
  close(input.fd);
}

TEST(ReadLdifRecord, DevZeroEndsAtOnce) {
  EXPECT_EQ(readRecords(open("/dev/zero", O_RDONLY)), Records{"\0"s});
}

void* failingRealloc(void*, size_t) {
  return nullptr;
}

TEST(ReadLdifRecord, AllocationFailureIsReported) {
  setLdifRecordRealloc(failingRealloc);
  testing::internal::CaptureStderr();
  EXPECT_EQ(readRecords(memoryFile("dn: a\n"), LdifReadResult::kOutOfMemory), Records{});
  std::string printed = testing::internal::GetCapturedStderr();
  setLdifRecordRealloc(nullptr);
  EXPECT_EQ(printed.rfind("realloc: ", 0), 0u) << printed;
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
      // A type folded across lines keeps its markers and so matches no
      // keyword.
      {"c\n n: x\n", {"c\x01\x01n: x"}},
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

TEST(ParseLdifLine, Values) {
  std::string longValue(100000, 'v');
  struct Case {
    std::string record;  // one logical line
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"cn: value  ", "value  "},
      {"cn:x:y", "x:y"},
      {"cn:", ""},
      {"cn:  ", std::nullopt},
      {"cn::", std::nullopt},
      {"cn:: ", std::nullopt},
      {"cn:<", std::nullopt},
      {"cn: a\rb\r\n", "a\rb"},
      {"cn: ab\n cd\n", "abcd"},
      {"cn: ab\n  cd\n", "ab cd"},
      {"cn: ab\n\tcd\n", "abcd"},
      {"cn:\n  x\n", " x"},
      {"cn: ab\n   \n", "ab  "},
      {"cn: a\n b\n c", "abc"},
      {"cn: ab\r\n cd\r\n", "abcd"},
      {"cn: ab\r\n  cd\r\n", "ab cd"},
      {"cn: ab\r\n \r\n", "ab"},
      {"cn: " + longValue + "\n " + longValue + "\n", longValue + longValue},
      {"cn:: Zm9v", "foo"},
      {"cn:: Zm9vYmFy", "foobar"},
      {"cn:: Zg==", "f"},
      {"cn:: Zm8=", "fo"},
      {"cn:: Zg==Zm9v", "f"},
      {"cn:: AAA=", std::string(2, '\0')},
      {"cn:: +/+/", "\xfb\xff\xbf"},
      {"cn:: Zm9v\n YmFy\n", "foobar"},
      {"cn: \xc3\x28", "\xc3\x28"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(valueOf(c.record), c.value) << c.record.substr(0, 60);
  }
}

TEST(ParseLdifLine, TypesAndFailures) {
  EXPECT_EQ(parse("  cn  \t: value"), (Parsed{"cn", "value"}));
  EXPECT_EQ(parse(":x"), (Parsed{"", "x"}));
  EXPECT_EQ(parse("cn;lang-en: x"), (Parsed{"cn;lang-en", "x"}));
  for (const char* bad :
       {"no colon", "cn:< file:///etc/passwd", "cn:: Zm9", "cn:: Zm=", "cn:: Zm9v Zm9v",
        "cn:: Zm9\xc3\xa9", "cn:: ==Zm", "cn:: Z===", "cn:: Zm9v!"}) {
    EXPECT_FALSE(parse(bad).has_value()) << bad;
  }
}

}  // namespace
