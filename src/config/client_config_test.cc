#include "config/client_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "base/host_test_support.h"
#include "base/run_settings.h"

namespace {

void setUpAdd() {
  runSettings = RunSettings{};
  runSettings.adminFdn = "cn=admin,o=corp";
  runSettings.partitionRoot = "o=corp";
  runSettings.ldapServer = "dir.example";
}

// The key table of add and upgrade in its order, with every optional key and the values
// upgrade copies after it; add's test has it without them, simple_add's its own order.
TEST(ClientConfig, AddWritesTheKeyTableInOrder) {
  setUpAdd();
  runSettings.sslFlag = 1;
  runSettings.sslPort = 1636;
  runSettings.alternativeServerList = "a,b:2";
  runSettings.persistentCacheOffCount = runSettings.cacheOnlyCount = 1;
  runSettings.proxyUserFdn = "cn=proxy,o=corp";
  runSettings.proxyUserPassword = "pw";
  RecordingHost host;
  ASSERT_EQ(writeClientConfig(host, {{"num-threads", 9, ""}, {"create-home", {}, "no"}}), 0);
  EXPECT_EQ(joined(host.calls),
            "set admin-fdn=cn=admin,o=corp\nset base-name=o=corp\nset ldap-port=389\n"
            "set ldap-ssl-port=1636\nset certificate-file-type=der\n"
            "set preferred-server=dir.example\nset schema=rfc2307\n"
            "set alternative-ldap-server-list=a,b:2\nset num-threads=5\n"
            "set enable-persistent-cache=no\nset enable-boma=yes\nset cache-only=yes\n"
            "set persistent-search=yes\nset case-sensitive=no\nset user-hash-size=211\n"
            "set group-hash-size=211\nset persistent-cache-refresh-period=28800\n"
            "set persistent-cache-refresh-flag=all\nset type-of-authentication=2\n"
            "set create-home=yes\nset support-alias-name=no\nset support-outside-base-context=yes\n"
            "set proxy-user-fdn=cn=proxy,o=corp\nset proxy-user-pwd=pw\nset num-threads=9\n"
            "set create-home=no\nsave\nend\n");
}

// A value the store cannot keep, or a failed save, loses nothing: the store
// stays as it was, and the failure is printed and logged.
TEST(ClientConfig, FailuresLeaveTheStoreAsItWas) {
  const std::pair<int, std::string> rows[] = {
      {0, "The value of alternative-ldap-server-list cannot be stored in /etc/kiv.conf\n"},
      {EACCES, "Unable to save /etc/kiv.conf: Permission denied\n"},
      {EINVAL, "Unable to save /etc/kiv.conf: not a regular file\n"},
  };
  for (const auto& [saveError, said] : rows) {
    SCOPED_TRACE(said);
    setUpAdd();
    runSettings.alternativeServerList = std::string(saveError == 0 ? kStoreValueSize : 1, 'x');
    RecordingHost host;
    host.store() = {{"preferred-server", "old"}};
    host.saveError = saveError;
    testing::internal::CaptureStdout();
    EXPECT_EQ(writeClientConfig(host), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), said);
    EXPECT_EQ(host.logLines, Lines{said});
    EXPECT_EQ(host.store(), RecordingHost::Store({{"preferred-server", "old"}}));
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "save"), saveError == 0 ? 0 : 1);
    EXPECT_EQ(host.calls.back(), "end");
  }
}

}  // namespace
