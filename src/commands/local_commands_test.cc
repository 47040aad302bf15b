#include <gtest/gtest.h>

#include <cerrno>

#include "base/host_test_support.h"
#include "base/run_settings.h"
#include "commands/commands.h"
#include "host/services.h"

namespace {

using H = RecordingHost;

// The daemons `running` by name; `fault` of get, set and save; a `failing` init call.
H& with(H& host, const char* running, int fault = 0, const char* failing = "",
        bool nscdInstalled = true) {
  host.running.clear();
  if (std::string(running).find("kivcd") != std::string::npos)
    host.running.insert(Daemon::kKivcd);
  if (std::string(running).find("nscd") != std::string::npos)
    host.running.insert(Daemon::kNscd);
  host.failingInitCalls = {failing};
  host.nscdInstalled = nscdInstalled;
  host.parameterCommandResult = host.saveError = fault;
  return host;
}
template <typename... Words>
int command(H& host, char mode, Words... words) {
  char* list[] = {const_cast<char*>(words)..., nullptr};
  return runParameterCommand(host, mode, list);
}

// What simple_add writes for -r o=corp and the server typed, in order.
const std::string kSimpleStore =
    "set base-name=o=corp\nset ldap-port=389\nset preferred-server=ldap2\nset schema=rfc2307\n"
    "set num-threads=5\nset enable-persistent-cache=yes\nset user-hash-size=211\n"
    "set group-hash-size=211\nset persistent-cache-refresh-period=28800\n"
    "set persistent-cache-refresh-flag=all\nset type-of-authentication=1\nset create-home=yes\n"
    "set support-alias-name=no\nset support-outside-base-context=yes\nset cache-only=no\n"
    "set persistent-search=yes\nset case-sensitive=no\nsave\nend\n";

TEST(LocalCommands, ServicesCacheSimpleAddAndParameters) {
  const std::string stopK = "init kivcd stop\n", startK = "init kivcd start\n";
  const std::string stopN = "init nscd stop\n", startN = "init nscd start\n";
  const std::string cycle = stopK + stopN + startK + startN;
  const std::string stored = "set preferred-server=ldap2\nsave\nend\n" + cycle;
  const std::string updated = "Updated the preferred server successfully\n";
  const std::string notSaved = "Unable to save /etc/kiv.conf: Permission denied\n";
  struct Row {
    const char* name;
    int (*run)(H&);
    int result;
    std::string calls, output;
    const char* errors = nullptr;  // checked when given
  };
  const Row rows[] = {
      {"restart, none running", [](H& h) { return restartServices(with(h, "")); }, 0, startK, ""},
      {"restart, no nscd",
       [](H& h) { return restartServices(with(h, "kivcd nscd", 0, "", false)); }, 0, stopK + startK,
       ""},
      {"restart, nscd stop fails",
       [](H& h) { return restartServices(with(h, "nscd", 0, "nscd stop")); }, 0, stopN + startK,
       "Could not stop nscd daemon\n",
       "Stopping the service 'nscd'...Error: Cannot stop 'nscd', stop manually.\nStarting the "
       "service 'kivcd'... Done.\n"},
      {"removal, nscd start fails",
       [](H& h) { return stopServicesForRemoval(with(h, "nscd", 0, "nscd start")); }, 0,
       stopN + startN, "",
       "Stopping the service 'nscd'...done.\nStarting the service 'nscd'... Error: Cannot start "
       "'nscd', start manually.\n"},
      {"cache refresh, kivcd stopped", [](H& h) { return refreshCache(with(h, "nscd")); }, 0,
       kCacheRemovals, ""},
      {"cache refresh", [](H& h) { return refreshCache(with(h, "kivcd")); }, 0,
       stopK + kCacheRemovals + startK, ""},
      {"cache refresh, stop fails",
       [](H& h) { return refreshCache(with(h, "kivcd", 0, "kivcd stop")); }, 0,
       stopK + kCacheRemovals, "Could not stop kivcd daemon\n"},
      {"simple_add, server typed", [](H& h) { return runSimpleAdd(h); }, 0, kSimpleStore + cycle,
       "Enter LDAP server:"},
      {"simple_add, not saved", [](H& h) { return runSimpleAdd(with(h, "", EACCES)); }, -5999,
       kSimpleStore, "Enter LDAP server:" + notSaved},
      {"get help failing", [](H& h) { return command(with(h, "", 1), 'h', "a"); }, -5999,
       "parameters h a\n", ""},
      {"set the server", [](H& h) { return command(h, 's', "preferred-server=ldap2"); }, 0, stored,
       updated},
      {"set it and more", [](H& h) { return command(h, 's', "PREFERRED-SERVER=ldap2", "a=1"); }, 0,
       stored + "parameters s PREFERRED-SERVER=ldap2 a=1\n", updated},
      {"value missing", [](H& h) { return command(h, 's', "preferred-server=ldap2", "a="); }, -5999,
       stored, updated + "Value missing for the parameter :a\n"},
      {"invalid server first", [](H& h) { return command(h, 's', "a=1", "preferred-server=x/y"); },
       -5999, "",
       "The LDAP server name \"x/y\" is not valid: give a host name, an IPv4 address or an IPv6 "
       "address in brackets\n"},
      {"server not saved",
       [](H& h) { return command(with(h, "", EACCES), 's', "preferred-server=ldap2"); }, -5999,
       "set preferred-server=ldap2\nsave\nend\n", notSaved},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    runSettings = RunSettings{};
    runSettings.partitionRoot = "o=corp";
    RecordingHost host;
    host.typedWords = {"ldap2"};
    host.running = {Daemon::kKivcd, Daemon::kNscd};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(row.run(host), row.result);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(row.errors == nullptr || errors == row.errors) << errors;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.output);
    EXPECT_EQ(joined(host.calls), row.calls);
  }
}

}  // namespace
