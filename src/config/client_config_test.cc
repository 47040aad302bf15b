#include "config/client_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "base/log.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "kiv.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class ClientConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runSettings = RunSettings{};
    runSettings.adminFdn = "cn=admin,o=corp";
    runSettings.partitionRoot = "o=corp";
    runSettings.ldapServer = "dir.example";
    // ctest runs the cases in parallel: each needs files of its own.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    storeFile_ = ::testing::TempDir() + "client_config_" + name + ".conf";
    logFile_ = ::testing::TempDir() + "client_config_" + name + ".log";
    setLogFileForTesting(logFile_.c_str());
    unlink(storeFile_.c_str());
    kivSetConfigFile(storeFile_.c_str());
  }
  void TearDown() override {
    unlink(storeFile_.c_str());
    unlink((storeFile_ + ".lock").c_str());
    unlink(logFile_.c_str());
  }

  std::string stored() {
    std::ifstream in(storeFile_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string storeFile_;
  std::string logFile_;
};

// The key table of add and upgrade, in its order; simple_add writes another
// order and is tested end to end.
TEST_F(ClientConfigTest, AddWritesTheKeyTableInOrder) {
  const char* tuning =
      "user-hash-size=211\ngroup-hash-size=211\npersistent-cache-refresh-period=28800\n"
      "persistent-cache-refresh-flag=all\n";
  const char* host = "create-home=yes\nsupport-alias-name=no\nsupport-outside-base-context=yes\n";
  ASSERT_EQ(writeClientConfig(), 0);
  EXPECT_EQ(stored(), std::string("admin-fdn=cn=admin,o=corp\nbase-name=o=corp\nldap-port=389\n"
                                  "preferred-server=dir.example\nschema=rfc2307\nnum-threads=5\n"
                                  "enable-persistent-cache=yes\ncache-only=no\n"
                                  "persistent-search=yes\ncase-sensitive=no\n") +
                          tuning + "type-of-authentication=1\n" + host);

  runSettings.sslFlag = 1;
  runSettings.sslPort = 1636;
  runSettings.alternativeServerList = "a,b:2";
  runSettings.persistentCacheOffCount = 1;
  runSettings.cacheOnlyCount = 1;
  runSettings.proxyUserFdn = "cn=proxy,o=corp";
  runSettings.proxyUserPassword = "pw";
  unlink(storeFile_.c_str());
  ASSERT_EQ(writeClientConfig(), 0);
  EXPECT_EQ(stored(), std::string("admin-fdn=cn=admin,o=corp\nbase-name=o=corp\nldap-port=389\n"
                                  "ldap-ssl-port=1636\ncertificate-file-type=der\n"
                                  "preferred-server=dir.example\nschema=rfc2307\n"
                                  "alternative-ldap-server-list=a,b:2\nnum-threads=5\n"
                                  "enable-persistent-cache=no\nenable-boma=yes\ncache-only=yes\n"
                                  "persistent-search=yes\ncase-sensitive=no\n") +
                          tuning + "type-of-authentication=2\n" + host +
                          "proxy-user-fdn=cn=proxy,o=corp\nproxy-user-pwd=pw\n");
}

TEST_F(ClientConfigTest, ValueThatCannotBeReadBackIsRefusedWhole) {
  {
    std::ofstream old(storeFile_);
    old << "preferred-server=old\n";
  }
  runSettings.alternativeServerList = std::string(5000, 'x');
  testing::internal::CaptureStdout();
  EXPECT_NE(writeClientConfig(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "The value of alternative-ldap-server-list cannot be stored in /etc/kiv.conf\n");
  EXPECT_EQ(stored(), "preferred-server=old\n");
}

}  // namespace
