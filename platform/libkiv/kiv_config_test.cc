#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kiv.h"
#include "kiv_test_support.h"

namespace {

using KivConfigTest = kiv_test::StoreFileTest;
using Sets = std::vector<std::pair<const char*, const char*>>;

std::string text(const char* key, int size = 256) {  // "-": none fits
  std::string buffer(static_cast<size_t>(size), 'X');
  return kivGetParam(key, buffer.data(), size) == 1 ? buffer.c_str() : "-";
}

bool setAndSave(const Sets& sets) {
  for (const auto& [key, value] : sets)
    if (kivSetParam(key, value) != 1)
      return false;
  return kivSaveConfig(0) == 0;
}

// A set replaces the last line of its key or appends one; the rest stays.
TEST_F(KivConfigTest, SaveChangesOnlyTheLinesThatCount) {
  EXPECT_EQ(text("a"), "-");
  const std::string kept = "# by hand\n\nunknown-key = x\n  base-name = o=a \n";
  const std::tuple<std::string, Sets, std::string> rows[] = {
      {"", {{"proxy-user-pwd", "secret"}}, "proxy-user-pwd=secret\n"},  // no file yet
      {"a=1", {{"a", "2"}}, "a=2"},
      {"a=1", {{"b", "3"}}, "a=1\nb=3\n"},
      {kept + "base-name=o=b\nno key\n",
       {{"base-name", "o=c"}, {"schema", "rfc2307"}},
       kept + "base-name=o=c\nno key\nschema=rfc2307\n"},
  };
  for (const auto& [before, sets, after] : rows) {
    if (!before.empty())
      writeWholeFile(path_, before);
    ASSERT_TRUE(setAndSave(sets));
    EXPECT_EQ(readWholeFile(path_), after);
    kivEndConfig();
  }
  EXPECT_EQ(text("base-name"), "o=c");
  EXPECT_EQ(text("unknown-key"), " x");
  EXPECT_EQ(text("no key"), "-");
  struct stat info {};  // as the first save made it
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(KivConfigTest, ValuesReadBackWholeOrNotAtAll) {
  writeWholeFile(path_,
                 "preferred-server=abcd\nldap-port= 389 \nnum-threads=12x\n"
                 "user-hash-size=2147483648\ngroup-hash-size=-5\nt3v.qup.num-threads=+7\n"
                 "type-of-authentication=\n");
  EXPECT_EQ(text("preferred-server", 5), "abcd");
  char small[5] = "XXXX";  // no room for the NUL: nothing is copied
  EXPECT_EQ(kivGetParam("preferred-server", small, 4), 0);
  EXPECT_STREQ(small, "XXXX");
  const std::pair<const char*, std::optional<int>> integers[] = {
      {"ldap-port", 389},  {"group-hash-size", -5}, {"t3v.qup.num-threads", 7},
      {"num-threads", {}}, {"user-hash-size", {}},  {"type-of-authentication", {}},
  };
  int value = 0;
  for (const auto& [key, expected] : integers) {
    bool found = kivGetParam(key, &value, sizeof value) == 1;
    EXPECT_EQ(found ? std::optional(value) : std::nullopt, expected) << key;
  }
  EXPECT_EQ(kivGetParam("ldap-port", &value, 2), 0);

  int lowest = -2147483647 - 1;
  ASSERT_EQ(kivSetParam("persistent-cache-refresh-period", &lowest), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_NE(readWholeFile(path_).find("\npersistent-cache-refresh-period=-2147483648\n"),
            std::string::npos);
}

// A killed writer leaves "<store>.tmp"; no save writes through a link there.
TEST_F(KivConfigTest, OnlySetsMadeAndKeptReachTheFileAndOnlyIt) {
  const std::string outside = dir_ + "/outside";
  writeWholeFile(outside, "keep\n");
  writeWholeFile(path_, "# keep\n");
  ASSERT_EQ(symlink(outside.c_str(), (path_ + ".tmp").c_str()), 0);
  const std::pair<const char*, const char*> refused[] = {
      {"", "v"},     {"a=b", "v"},  {"a b", "v"}, {"#a", "v"},    {"a\nb", "v"},
      {"a\tb", "v"}, {"a", "x\ny"}, {"a", "x\r"}, {nullptr, "x"}, {"a", nullptr}};
  for (const auto& [key, value] : refused) {
    EXPECT_EQ(kivSetParam(key, value), 0) << (key ? key : "-") << "=" << (value ? value : "-");
  }
  ASSERT_EQ(kivSetParam("dropped", "1"), 1);
  kivEndConfig();
  ASSERT_EQ(kivSetParam("dropped", "2"), 1);
  kivSetConfigFile(path_.c_str());
  ASSERT_TRUE(setAndSave({{"a", "2"}}));
  EXPECT_EQ(readWholeFile(path_), "# keep\na=2\n");
  EXPECT_EQ(readWholeFile(outside), "keep\n");
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

}  // namespace
