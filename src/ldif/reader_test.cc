#include "ldif/reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// Reads every record, reusing one buffer as the processor does.
std::vector<std::string> readRecords(const std::string& input) {
  std::unique_ptr<FILE, FileCloser> file(
      fmemopen(const_cast<char*>(input.data()), input.size(), "r"));
  std::vector<std::string> records;
  LdifRecord record;
  for (;;) {
    readLdifRecord(file.get(), &record);
    EXPECT_EQ(record.result, 0);
    if (record.text == nullptr) {
      return records;
    }
    EXPECT_EQ(record.capacity % kLdifPieceSize, 0u);
    EXPECT_GT(record.capacity, strlen(record.text.get()));
    records.emplace_back(record.text.get());
  }
}

// The logical lines of one record, fold markers kept.
std::vector<std::string> logicalLines(std::string record) {
  std::vector<std::string> lines;
  char* cursor = record.data();
  while (char* line = nextLdifLine(&cursor)) {
    lines.emplace_back(line);
  }
  return lines;
}

struct Parsed {
  std::string type;
  std::optional<std::string> value;
};

std::optional<Parsed> parse(std::string line) {
  char* type = nullptr;
  char* value = nullptr;
  ber_len_t length = 99;
  if (parseLdifLine(line.data(), &type, &value, &length) != 0) {
    EXPECT_EQ(type, nullptr);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(length, 0u);
    return std::nullopt;
  }
  BerText typeOwner(type);
  BerText valueOwner(value);
  Parsed parsed{type, std::nullopt};
  if (value != nullptr) {
    EXPECT_EQ(value[length], '\0');
    parsed.value = std::string(value, length);
  } else {
    EXPECT_EQ(length, 0u);
  }
  return parsed;
}

// The value of the one logical line of `record`.
std::optional<std::string> valueOf(const std::string& record) {
  std::vector<std::string> lines = logicalLines(record);
  EXPECT_EQ(lines.size(), 1u);
  std::optional<Parsed> parsed = parse(lines.at(0));
  EXPECT_TRUE(parsed.has_value());
  return parsed ? parsed->value : std::nullopt;
}

TEST(ReadLdifRecord, BlankLinesSeparateRecordsAndAreSkipped) {
  EXPECT_EQ(readRecords("\n\ndn: a\ncn: b\n\n\n\ndn: c\n"),
            (std::vector<std::string>{"dn: a\ncn: b\n", "dn: c\n"}));
  EXPECT_EQ(readRecords(""), std::vector<std::string>{});
  EXPECT_EQ(readRecords("\n\n"), std::vector<std::string>{});
}

TEST(ReadLdifRecord, LastLineWithoutLineEnd) {
  EXPECT_EQ(readRecords("dn: a\ncn: b"), std::vector<std::string>{"dn: a\ncn: b"});
  // A single character there counts as a blank line.
  EXPECT_EQ(readRecords("dn: a\nx"), std::vector<std::string>{"dn: a\n"});
}

TEST(ReadLdifRecord, LineOf4095CharactersEndsTheRecord) {
  std::string longLine = "description: " + std::string(4095 - 13, 'x');
  EXPECT_EQ(readRecords("dn: a\n" + longLine + "\ncn: b\n"),
            (std::vector<std::string>{"dn: a\n" + longLine, "cn: b\n"}));
  std::string shorter = longLine.substr(1);
  EXPECT_EQ(readRecords("dn: a\n" + shorter + "\ncn: b\n"),
            (std::vector<std::string>{"dn: a\n" + shorter + "\ncn: b\n"}));
}

TEST(ReadLdifRecord, RecordsLongerThanOnePiece) {
  std::string record = "dn: a\n";
  for (int i = 0; i < 3000; ++i) {
    record += "description: value " + std::to_string(i) + "\n";
  }
  EXPECT_EQ(readRecords(record + "\n" + record + "\ndn: b\n"),
            (std::vector<std::string>{record, record, "dn: b\n"}));
}

TEST(ReadLdifRecord, LongLinesAndRawBytesStayWhole) {
  std::string value(20000, 'v');
  value[4094] = '\xff';
  std::vector<std::string> records = readRecords("cn: " + value + "\nsn: \xc3\x28\n");
  ASSERT_EQ(records.size(), 1u);
  std::vector<std::string> lines = logicalLines(records[0]);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(parse(lines[0])->value, value);
  EXPECT_EQ(parse(lines[1])->value, "\xc3\x28");
}

TEST(ReadLdifRecord, CarriageReturnLineEnds) {
  EXPECT_EQ(readRecords("\r\ndn: a\r\ncn: b\r\n\r\n\r\ndn: c\r\n"),
            (std::vector<std::string>{"dn: a\r\ncn: b\r\n", "dn: c\r\n"}));
  EXPECT_EQ(logicalLines("dn: a\r\ncn: b\r\n"), (std::vector<std::string>{"dn: a", "cn: b"}));
  EXPECT_EQ(valueOf("cn: a\rb\r\n"), "a\rb");
  EXPECT_EQ(valueOf("cn: ab\r\n cd\r\n"), "abcd");
  EXPECT_EQ(valueOf("cn: ab\r\n  cd\r\n"), "ab cd");
  EXPECT_EQ(valueOf("cn: ab\r\n \r\n"), "ab");
  // A CR LF split across two pieces is still a line end.
  std::string longLine = "cn: " + std::string(4094 - 4, 'x');
  std::vector<std::string> records = readRecords(longLine + "\r\ncn: y\r\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(valueOf(records[0]), std::string(4090, 'x'));
}

TEST(NextLdifLine, Folding) {
  EXPECT_EQ(valueOf("cn: ab\n cd\n"), "abcd");
  EXPECT_EQ(valueOf("cn: ab\n  cd\n"), "ab cd");
  EXPECT_EQ(valueOf("cn: ab\n\tcd\n"), "abcd");
  EXPECT_EQ(valueOf("cn:\n  x\n"), " x");
  EXPECT_EQ(valueOf("cn: ab\n   \n"), "ab  ");
  EXPECT_EQ(valueOf("cn: a\n b\n c"), "abc");
  // A type folded across lines keeps its markers and so matches no keyword.
  EXPECT_EQ(parse(logicalLines("c\n n: x\n").at(0))->type, "c\x01\x01n");
}

TEST(NextLdifLine, Comments) {
  EXPECT_EQ(logicalLines("# one\n continued\ndn: a\n#two\ncn: #x\n"),
            (std::vector<std::string>{"dn: a", "cn: #x"}));
  EXPECT_EQ(logicalLines("# only\n"), std::vector<std::string>{});
  char* none = nullptr;
  EXPECT_EQ(nextLdifLine(&none), nullptr);
}

TEST(ParseLdifLine, PlainValues) {
  EXPECT_EQ(parse("cn: value  ")->value, "value  ");
  EXPECT_EQ(parse("  cn  \t: value")->type, "cn");
  EXPECT_EQ(parse(":x")->type, "");
  EXPECT_EQ(parse("cn;lang-en: x")->type, "cn;lang-en");
  EXPECT_EQ(parse("cn:x:y")->value, "x:y");
  EXPECT_FALSE(parse("no colon").has_value());
}

TEST(ParseLdifLine, AbsentAndEmptyValues) {
  EXPECT_EQ(parse("cn:")->value, "");
  EXPECT_EQ(parse("cn:  ")->value, std::nullopt);
  EXPECT_EQ(parse("cn::")->value, std::nullopt);
  EXPECT_EQ(parse("cn:: ")->value, std::nullopt);
  EXPECT_EQ(parse("cn:<")->value, std::nullopt);
  EXPECT_FALSE(parse("cn:< file:///etc/passwd").has_value());
}

TEST(ParseLdifLine, Base64) {
  EXPECT_EQ(parse("cn:: Zm9v")->value, "foo");
  EXPECT_EQ(parse("cn:: Zm9vYmFy")->value, "foobar");
  EXPECT_EQ(parse("cn:: Zg==")->value, "f");
  EXPECT_EQ(parse("cn:: Zm8=")->value, "fo");
  EXPECT_EQ(parse("cn:: Zg==Zm9v")->value, "f");
  EXPECT_EQ(parse("cn:: AAA=")->value, std::string(2, '\0'));
  EXPECT_EQ(parse("cn:: +/+/")->value, "\xfb\xff\xbf");
  EXPECT_EQ(valueOf("cn:: Zm9v\n YmFy\n"), "foobar");
  for (const char* bad : {"cn:: Zm9", "cn:: Zm=", "cn:: Zm9v Zm9v", "cn:: Zm9\xc3\xa9", "cn:: ==Zm",
                          "cn:: Z===", "cn:: Zm9v!"}) {
    EXPECT_FALSE(parse(bad).has_value()) << bad;
  }
}

void* failingRealloc(void*, size_t) {
  return nullptr;
}

TEST(ReadLdifRecord, AllocationFailureIsReported) {
  std::string input = "dn: a\ncn: b\n";
  std::unique_ptr<FILE, FileCloser> file(fmemopen(input.data(), input.size(), "r"));
  setLdifRecordRealloc(failingRealloc);
  testing::internal::CaptureStderr();
  LdifRecord record = readLdifRecord(file.get());
  std::string printed = testing::internal::GetCapturedStderr();
  setLdifRecordRealloc(nullptr);
  EXPECT_EQ(record.result, kLdifOutOfMemory);
  EXPECT_EQ(record.text, nullptr);
  EXPECT_EQ(printed.rfind("realloc: ", 0), 0u) << printed;
}

}  // namespace
