#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kiv.h"
#include "kiv_test_support.h"

namespace {

using kiv_test::readWholeFile;
using kiv_test::writeWholeFile;

struct CommandOutput {
  int result;
  std::string out;
  std::string err;
};

CommandOutput runCommand(int mode, std::vector<std::string> words) {
  std::vector<char*> list;
  for (std::string& word : words) {
    list.push_back(word.data());
  }
  list.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int result = vrd_config(nullptr, mode, list.data(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  return {result, out, testing::internal::GetCapturedStderr()};
}

TEST(GetParameterValueTest, SplitsAtFirstEqualsWithinBuffers) {
  char name[4];
  char value[8];
  ASSERT_EQ(getParameterValue("abc=d=e", name, sizeof name, value, sizeof value), 0);
  EXPECT_STREQ(name, "abc");
  EXPECT_STREQ(value, "d=e");
  ASSERT_EQ(getParameterValue("a=", name, sizeof name, value, sizeof value), 0);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(getParameterValue("abc", name, sizeof name, value, sizeof value), -1);

  // A part of exactly the buffer's size does not fit; nothing is written.
  char guarded[8] = "XXXXXXX";
  EXPECT_EQ(getParameterValue("abcd=x", guarded, 4, value, sizeof value), -1);
  EXPECT_EQ(getParameterValue("a=1234", name, sizeof name, guarded, 4), -1);
  EXPECT_STREQ(guarded, "XXXXXXX");
}

class VrdConfigTest : public kiv_test::StoreFileTest {};

TEST_F(VrdConfigTest, ListsSetParametersInTableOrderWithPasswordMasked) {
  writeWholeFile(path_, "proxy-user-pwd=topsecret\nunknown=1\nschema=rfc2307\nbase-name=o=acme\n");
  CommandOutput all = runCommand('V', {});
  EXPECT_EQ(all.result, 0);
  EXPECT_EQ(all.out, "base-name=o=acme\nschema=rfc2307\nproxy-user-pwd=********\n");

  CommandOutput named = runCommand('v', {"PROXY-USER-PWD", "ldap-ssl-port"});
  EXPECT_EQ(named.result, 0);
  EXPECT_EQ(named.out, "proxy-user-pwd=********\nldap-ssl-port is not set\n");

  CommandOutput unknown = runCommand('v', {"schema", "no-such-parameter"});
  EXPECT_NE(unknown.result, 0);
  EXPECT_EQ(unknown.out, "schema=rfc2307\n");
  EXPECT_NE(unknown.err.find("no-such-parameter"), std::string::npos);
}

TEST_F(VrdConfigTest, ExplainsEveryParameterOnOneLine) {
  CommandOutput all = runCommand('H', {});
  EXPECT_EQ(all.result, 0);
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 24);
  EXPECT_NE(all.out.find("ldap-port (integer from 1 to 65535, default 389)"), std::string::npos);
  EXPECT_NE(runCommand('h', {"bogus"}).result, 0);
}

TEST_F(VrdConfigTest, SetNormalizesValuesAndSavesOnce) {
  writeWholeFile(path_, "# admin notes\nldap-port=389\n");
  CommandOutput set =
      runCommand('s', {"ldap-port=1389", "enable-boma=YES", "Schema=Corvex",
                       "PREFERRED-SERVER=ldap.example", "persistent-cache-refresh-period=0"});
  EXPECT_EQ(set.result, 0) << set.err;
  EXPECT_EQ(readWholeFile(path_),
            "# admin notes\nldap-port=1389\nenable-boma=yes\nschema=corvex\n"
            "preferred-server=ldap.example\npersistent-cache-refresh-period=0\n");
}

TEST_F(VrdConfigTest, InvalidWordLeavesStoreUntouched) {
  const std::string original = "# keep\nldap-port=389\n";
  writeWholeFile(path_, original);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ldap-port=0", "ldap-port"},
      {"ldap-ssl-port=65536", "ldap-ssl-port"},
      {"ldap-port=12x", "ldap-port"},
      {"num-threads=257", "num-threads"},
      {"user-hash-size=1000004", "user-hash-size"},
      {"persistent-cache-refresh-period=-1", "persistent-cache-refresh-period"},
      {"persistent-cache-refresh-period=2147483648", "persistent-cache-refresh-period"},
      {"type-of-authentication=3", "type-of-authentication"},
      {"cache-only=maybe", "cache-only"},
      {"schema=ldap", "schema"},
      {"certificate-file-type=pem", "certificate-file-type"},
      {"persistent-cache-refresh-flag=none", "persistent-cache-refresh-flag"},
      {"preferred-server=a\nb", "preferred-server"},
      {"base-name=o=caf\xff", "base-name"},
      {"bogus=1", "bogus"},
  };
  for (const auto& [word, named] : cases) {
    CommandOutput set = runCommand('s', {"ldap-port=1389", word});
    EXPECT_NE(set.result, 0) << word;
    EXPECT_NE(set.err.find(named), std::string::npos) << set.err;
    EXPECT_EQ(readWholeFile(path_), original) << word;
  }
}

}  // namespace
