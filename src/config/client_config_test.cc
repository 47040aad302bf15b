#include "config/client_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

  Pairs stored() {
    std::ifstream in(storeFile_);
    Pairs pairs;
    std::string line;
    while (std::getline(in, line)) {
      size_t equals = line.find('=');
      pairs.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return pairs;
  }

  std::string storeFile_;
  std::string logFile_;
};

const Pairs kTuning = {{"user-hash-size", "211"},
                       {"group-hash-size", "211"},
                       {"persistent-cache-refresh-period", "28800"},
                       {"persistent-cache-refresh-flag", "all"}};
const Pairs kHost = {
    {"create-home", "yes"}, {"support-alias-name", "no"}, {"support-outside-base-context", "yes"}};

Pairs join(std::initializer_list<Pairs> parts) {
  Pairs all;
  for (const Pairs& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(ClientConfigTest, AddWritesTheKeyTableInOrder) {
  ASSERT_EQ(writeClientConfig(), 0);
  EXPECT_EQ(stored(), join({{{"admin-fdn", "cn=admin,o=corp"},
                             {"base-name", "o=corp"},
                             {"ldap-port", "389"},
                             {"preferred-server", "dir.example"},
                             {"schema", "rfc2307"},
                             {"num-threads", "5"},
                             {"enable-persistent-cache", "yes"},
                             {"cache-only", "no"},
                             {"persistent-search", "yes"},
                             {"case-sensitive", "no"}},
                            kTuning,
                            {{"type-of-authentication", "1"}},
                            kHost}));
}

TEST_F(ClientConfigTest, AddWithEveryOption) {
  runSettings.sslFlag = 1;
  runSettings.sslPort = 1636;
  runSettings.alternativeServerList = "a,b:2";
  runSettings.persistentCacheOffCount = 1;
  runSettings.cacheOnlyCount = 1;
  runSettings.proxyUserFdn = "cn=proxy,o=corp";
  runSettings.proxyUserPassword = "pw";
  ASSERT_EQ(writeClientConfig(), 0);
  EXPECT_EQ(stored(), join({{{"admin-fdn", "cn=admin,o=corp"},
                             {"base-name", "o=corp"},
                             {"ldap-port", "389"},
                             {"ldap-ssl-port", "1636"},
                             {"certificate-file-type", "der"},
                             {"preferred-server", "dir.example"},
                             {"schema", "rfc2307"},
                             {"alternative-ldap-server-list", "a,b:2"},
                             {"num-threads", "5"},
                             {"enable-persistent-cache", "no"},
                             {"enable-boma", "yes"},
                             {"cache-only", "yes"},
                             {"persistent-search", "yes"},
                             {"case-sensitive", "no"}},
                            kTuning,
                            {{"type-of-authentication", "2"}},
                            kHost,
                            {{"proxy-user-fdn", "cn=proxy,o=corp"}, {"proxy-user-pwd", "pw"}}}));
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
  EXPECT_EQ(stored(), (Pairs{{"preferred-server", "old"}}));
}

}  // namespace
