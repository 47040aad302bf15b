#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kiv.h"
#include "kiv_test_support.h"

namespace {

// vrd_config's result, standard output and standard error.
std::tuple<int, std::string, std::string> runCommand(int mode, std::vector<std::string> words) {
  std::vector<char*> list;
  for (std::string& word : words)
    list.push_back(word.data());
  list.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int result = vrd_config(nullptr, mode, list.data(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  return {result, out, testing::internal::GetCapturedStderr()};
}

using VrdConfigTest = kiv_test::StoreFileTest;

TEST_F(VrdConfigTest, SetNormalizesAndSavesOnceOrNotAtAll) {
  writeWholeFile(path_, "# admin notes\nldap-port=389\n");
  auto [result, out, err] = runCommand('s', {"ldap-port=1389", "enable-boma=YES", "Schema=Corvex",
                                             "persistent-cache-refresh-period=0"});
  EXPECT_EQ(result, 0) << err;
  const std::string saved =
      "# admin notes\nldap-port=1389\nenable-boma=yes\nschema=corvex\n"
      "persistent-cache-refresh-period=0\n";
  EXPECT_EQ(readWholeFile(path_), saved);
  for (std::string word : {"ldap-port=0", "ldap-ssl-port=65536", "ldap-port=12x", "num-threads=257",
                           "user-hash-size=1000004", "persistent-cache-refresh-period=-1",
                           "persistent-cache-refresh-period=2147483648", "type-of-authentication=3",
                           "cache-only=maybe", "schema=ldap", "certificate-file-type=pem",
                           "persistent-cache-refresh-flag=none", "preferred-server=a\nb",
                           "base-name=o=caf\xff", "bogus=1"}) {
    auto [refused, none, named] = runCommand('s', {"ldap-port=1", word});
    EXPECT_NE(refused, 0) << word;
    EXPECT_NE(named.find(word.substr(0, word.find('='))), std::string::npos) << named;
    EXPECT_EQ(readWholeFile(path_), saved) << word;
  }
}

}  // namespace
