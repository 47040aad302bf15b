#include "config/client_config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/host_test_support.h"
#include "base/run_settings.h"

namespace {

using Lines = std::vector<std::string>;

void setUpAdd() {
  runSettings = RunSettings{};
  runSettings.adminFdn = "cn=admin,o=corp";
  runSettings.partitionRoot = "o=corp";
  runSettings.ldapServer = "dir.example";
}

// The store calls, one a line, without the "set " of the sets.
std::string storeCalls(const RecordingHost& host) {
  std::string text;
  for (const std::string& call : host.calls)
    text += (call.starts_with("set ") ? call.substr(4) : call) + "\n";
  return text;
}

// The key table of add and upgrade, in its order, and the values upgrade
// copies after it; simple_add writes another order and is tested end to end.
TEST(ClientConfig, AddWritesTheKeyTableInOrder) {
  const std::string head = "admin-fdn=cn=admin,o=corp\nbase-name=o=corp\nldap-port=389\n";
  const std::string tuning =
      "persistent-search=yes\ncase-sensitive=no\nuser-hash-size=211\ngroup-hash-size=211\n"
      "persistent-cache-refresh-period=28800\npersistent-cache-refresh-flag=all\n";
  const std::string host =
      "create-home=yes\nsupport-alias-name=no\nsupport-outside-base-context=yes\n";
  setUpAdd();
  RecordingHost plain;
  ASSERT_EQ(writeClientConfig(plain), 0);
  EXPECT_EQ(storeCalls(plain), head +
                                   "preferred-server=dir.example\nschema=rfc2307\nnum-threads=5\n"
                                   "enable-persistent-cache=yes\ncache-only=no\n" +
                                   tuning + "type-of-authentication=1\n" + host + "save\nend\n");
  runSettings.sslFlag = 1;
  runSettings.sslPort = 1636;
  runSettings.alternativeServerList = "a,b:2";
  runSettings.persistentCacheOffCount = runSettings.cacheOnlyCount = 1;
  runSettings.proxyUserFdn = "cn=proxy,o=corp";
  runSettings.proxyUserPassword = "pw";
  RecordingHost full;
  ASSERT_EQ(writeClientConfig(full, {{"num-threads", 9, ""}, {"create-home", {}, "no"}}), 0);
  EXPECT_EQ(storeCalls(full), head +
                                  "ldap-ssl-port=1636\ncertificate-file-type=der\n"
                                  "preferred-server=dir.example\nschema=rfc2307\n"
                                  "alternative-ldap-server-list=a,b:2\nnum-threads=5\n"
                                  "enable-persistent-cache=no\nenable-boma=yes\ncache-only=yes\n" +
                                  tuning + "type-of-authentication=2\n" + host +
                                  "proxy-user-fdn=cn=proxy,o=corp\nproxy-user-pwd=pw\n"
                                  "num-threads=9\ncreate-home=no\nsave\nend\n");
  // One proxy value alone writes neither.
  runSettings.proxyUserPassword.reset();
  RecordingHost oneProxyValue;
  ASSERT_EQ(writeClientConfig(oneProxyValue), 0);
  EXPECT_EQ(oneProxyValue.callsStartingWith("set proxy"), Lines{});
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
    EXPECT_EQ(host.callsStartingWith("save").size(), saveError == 0 ? 0u : 1u);
    EXPECT_EQ(host.calls.back(), "end");
  }
}

}  // namespace
