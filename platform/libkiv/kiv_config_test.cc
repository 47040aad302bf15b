#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

#include "kiv.h"
#include "kiv_test_support.h"

namespace {

using kiv_test::readWholeFile;
using kiv_test::writeWholeFile;

class KivConfigTest : public kiv_test::StoreFileTest {
 protected:
  mode_t fileMode() const {
    struct stat info {};
    EXPECT_EQ(stat(path_.c_str(), &info), 0);
    return info.st_mode & 07777;
  }
  std::string getText(const char* key, int size = 256) {
    std::string buffer(static_cast<size_t>(size), 'X');
    if (kivGetParam(key, buffer.data(), size) != 1) {
      return "<unavailable>";
    }
    return buffer.c_str();
  }
};

TEST_F(KivConfigTest, SaveKeepsEverythingItDidNotChangeInPlace) {
  writeWholeFile(path_,
                 "# written by hand\n\nunknown-key = x\nldap-port=389\n"
                 "  base-name = o=a \nbase-name=o=b\nnot a key line\n# end\n");
  int port = 636;
  ASSERT_EQ(kivSetParam("ldap-port", &port), 1);
  ASSERT_EQ(kivSetParamWithFlags("base-name", "o=c", KIV_FLAG_UTF8_DN), 1);
  ASSERT_EQ(kivSetParam("schema", "rfc2307"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_),
            "# written by hand\n\nunknown-key = x\nldap-port=636\n"
            "  base-name = o=a \nbase-name=o=c\nnot a key line\n# end\nschema=rfc2307\n");

  kivEndConfig();
  int readPort = 0;
  EXPECT_EQ(kivGetParam("ldap-port", &readPort, sizeof readPort), 1);
  EXPECT_EQ(readPort, 636);
  EXPECT_EQ(getText("unknown-key"), " x");
  EXPECT_EQ(getText("not a key line"), "<unavailable>");
}

TEST_F(KivConfigTest, LastLineWithoutLineEnd) {
  writeWholeFile(path_, "a=1");
  ASSERT_EQ(kivSetParam("a", "2"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=2");

  ASSERT_EQ(kivSetParam("b", "3"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=2\nb=3\n");
}

TEST_F(KivConfigTest, MissingFileReadsEmptyAndSaveCreatesItPrivate) {
  EXPECT_EQ(getText("preferred-server"), "<unavailable>");
  ASSERT_EQ(kivSetParam("proxy-user-pwd", "secret"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "proxy-user-pwd=secret\n");
  EXPECT_EQ(fileMode(), 0600u);
}

TEST_F(KivConfigTest, TextValueMustFitWithItsNul) {
  writeWholeFile(path_, "preferred-server=abcd\n");
  EXPECT_EQ(getText("preferred-server", 5), "abcd");
  char small[8] = "XXXXXXX";
  EXPECT_EQ(kivGetParamWithFlags("preferred-server", small, 4, KIV_FLAG_UTF8_DN), 0);
  EXPECT_STREQ(small, "XXXXXXX");
}

TEST_F(KivConfigTest, IntegerKeysParseStrictly) {
  writeWholeFile(path_,
                 "ldap-port= 389 \nnum-threads=12x\nuser-hash-size=2147483648\n"
                 "group-hash-size=-5\nt3v.qup.num-threads=+7\ntype-of-authentication=\n");
  int value = 0;
  EXPECT_EQ(kivGetParam("ldap-port", &value, sizeof value), 1);
  EXPECT_EQ(value, 389);
  EXPECT_EQ(kivGetParam("ldap-port", &value, 2), 0);
  for (const char* notANumber : {"num-threads", "user-hash-size", "type-of-authentication"}) {
    EXPECT_EQ(kivGetParam(notANumber, &value, sizeof value), 0) << notANumber;
  }
  EXPECT_EQ(kivGetParam("group-hash-size", &value, sizeof value), 1);
  EXPECT_EQ(value, -5);
  EXPECT_EQ(kivGetParam("t3v.qup.num-threads", &value, sizeof value), 1);
  EXPECT_EQ(value, 7);

  int negative = -2147483647 - 1;
  ASSERT_EQ(kivSetParam("persistent-cache-refresh-period", &negative), 1);
  EXPECT_EQ(kivGetParam("persistent-cache-refresh-period", &value, sizeof value), 1);
  EXPECT_EQ(value, negative);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_NE(readWholeFile(path_).find("\npersistent-cache-refresh-period=-2147483648\n"),
            std::string::npos);
}

TEST_F(KivConfigTest, RefusesKeysAndValuesThatWouldNotReadBack) {
  writeWholeFile(path_, "# keep\n");
  const std::pair<const char*, const char*> refused[] = {
      {"", "v"},     {"a=b", "v"},  {"a b", "v"}, {"#a", "v"},    {"a\nb", "v"},
      {"a\tb", "v"}, {"a", "x\ny"}, {"a", "x\r"}, {nullptr, "x"}, {"a", nullptr}};
  for (size_t i = 0; i < std::size(refused); ++i) {
    EXPECT_EQ(kivSetParam(refused[i].first, refused[i].second), 0) << "row " << i;
  }
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "# keep\n");
}

TEST_F(KivConfigTest, EndAndSetConfigFileDropUnsavedSets) {
  writeWholeFile(path_, "a=1\n");
  ASSERT_EQ(kivSetParam("a", "2"), 1);
  kivEndConfig();
  EXPECT_EQ(getText("a"), "1");
  ASSERT_EQ(kivSetParam("a", "3"), 1);
  kivSetConfigFile(path_.c_str());
  EXPECT_EQ(getText("a"), "1");
}

// A writer killed before its rename leaves "<store>.tmp" behind; the next
// save never writes through a link found there.
TEST_F(KivConfigTest, SaveDoesNotFollowALinkAtTheTemporaryName) {
  const std::string outside = dir_ + "/outside";
  writeWholeFile(outside, "keep\n");
  writeWholeFile(path_, "a=1\n");
  ASSERT_EQ(symlink(outside.c_str(), (path_ + ".tmp").c_str()), 0);
  ASSERT_EQ(kivSetParam("a", "2"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=2\n");
  EXPECT_EQ(readWholeFile(outside), "keep\n");
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

}  // namespace
