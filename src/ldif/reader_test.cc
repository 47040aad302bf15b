#include "ldif/reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Records = std::vector<std::string>;

// The reader's buffer gets one guard byte behind it, which the reader must
// never touch: it keeps the buffer's last byte for the NUL behind a record.
char* guarded = nullptr;
size_t guardedSize = 0;
void* guardedRealloc(void* block, size_t size) {
  guarded = static_cast<char*>(realloc(block, size + 1));
  guardedSize = size;
  guarded[size] = '#';
  return guarded;
}

// Reads every record of `fd` (closing it), each ending in the NUL byte it
// holds if any; the reading ends with `last`.
Records readRecords(int fd, LdifReadResult last = LdifReadResult::kEndOfInput) {
  setLdifRecordRealloc(guardedRealloc);
  guarded = nullptr;
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
  EXPECT_TRUE(guarded == nullptr || guarded[guardedSize] == '#');
  close(fd);
  return records;
}

// An in-memory file holding `bytes`.
int memoryFile(const std::string& bytes) {
  int fd = memfd_create("ldif", MFD_CLOEXEC);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
  return fd;
}

TEST(ReadLdifRecord, SplitsRecordsAtBlankLines) {
  std::string longRecord;
  for (int i = 0; i < 3000; ++i)
    longRecord += "description: value " + std::to_string(i) + "\n";
  // Records of growing length put their line ends, blank lines and CR LF
  // pairs at every offset of the reads.
  std::string growing;
  Records grown;
  for (size_t i = 0; growing.size() < 3 * kLdifBufferSize; ++i) {
    grown.push_back("dn: " + std::string(i % 97 + 1, 'a') + "\r\n cn: " + std::to_string(i) +
                    "\r\n");
    growing += grown.back() + (i % 3 == 0 ? "\r\n" : "\n\n");
  }
  auto lineOf = [](size_t length) { return "cn: " + std::string(length - 4, 'x') + "\n"; };
  // A record whose NUL byte is at `at`: one the reader hands out whole.
  auto nulAt = [](size_t at) { return "dn: a\ncn: " + std::string(at - 10, 'x') + "\0"s; };
  const std::pair<std::string, Records> cases[] = {
      {"\n\ndn: a\ncn: b\n\n\n\ndn: c\n", {"dn: a\ncn: b\n", "dn: c\n"}},
      {"", {}},
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
      {growing, grown},
      // A NUL byte ends its record and the input.
      {"dn: a\n\ndn: b\ndescription: abc\0XYZ\ntelephoneNumber: 123\n\ndn: c\n"s,
       {"dn: a\n", "dn: b\ndescription: abc\0"s}},
      {"\0\n"s, {"\0"s}},
      {"dn: a\n\0"s, {"dn: a\n\0"s}},
      {"\n\n" + std::string(200000, '\0'), {"\0"s}},
      // The NUL as the last byte of a full first read, and just after it.
      {nulAt(kLdifBufferSize - 2) + "\ncn: y\n\ndn: b\n", {nulAt(kLdifBufferSize - 2)}},
      {nulAt(kLdifBufferSize - 1) + "\ncn: y\n\ndn: b\n", {nulAt(kLdifBufferSize - 1)}},
  };
  for (const auto& [input, records] : cases)
    EXPECT_EQ(readRecords(memoryFile(input)), records) << input.substr(0, 60);
  int directory = open(testing::TempDir().c_str(), O_RDONLY);
  EXPECT_EQ(readRecords(directory, LdifReadResult::kReadError), Records{});
}

// Each case is a record, then the parse of each of its logical lines after
// a "|": "type=value", "type" for an absent value, or "!" when the line is
// refused; "*" marks the line holding the record's NUL byte.
TEST(LdifLines, UnfoldedAndParsed) {
  std::string longValue(100000, 'v');
  const std::string cases[] = {
      "dn: a\r\ncn: b\r\n|dn=a|cn=b", "# one\n continued\ndn: a\n#two\ncn: #x\n|dn=a|cn=#x",
      "# only\n", "dn: a\ndescription: abc\0|dn=a|description=abc\0*"s, "#\0\ncn: x\n|!*|cn=x"s,
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
    std::string text = c.substr(0, c.find('|'));
    size_t nul = text.find('\0');
    LdifRecord record{text.data(), text.data() + text.size(),
                      nul != std::string::npos ? text.data() + nul : nullptr};
    std::string parses;
    for (LdifLine line; nextLdifLine(&record, &line);) {
      EXPECT_EQ(line.text[line.length], '\0');
      LdifField field;
      field.type = line.text;
      parses += "|";
      if (parseLdifLine(line, &field) != 0) {
        EXPECT_EQ(field.type, nullptr);
        parses += "!";
      } else {
        EXPECT_EQ(field.type[field.typeLength], '\0');
        parses += std::string(field.type, field.typeLength);
        if (field.value != nullptr) {
          EXPECT_EQ(field.value[field.valueLength], '\0');
          parses += "=" + std::string(field.value, field.valueLength);
        }
      }
      parses += line.holdsNul ? "*" : "";
    }
    EXPECT_EQ(parses, c.substr(text.size())) << c.substr(0, 60);
  }
  LdifRecord exhausted;
  LdifLine line;
  EXPECT_FALSE(nextLdifLine(&exhausted, &line));
}

}  // namespace
