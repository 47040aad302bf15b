// upgrade over a recording host and directory: the old file's partition root
// and tuning, the search for the host's object, the one save and restart, and
// the old cache that only a finished upgrade removes.
#include <gtest/gtest.h>

#include <cerrno>

#include "base/host_test_support.h"
#include "base/paths.h"
#include "base/run_settings.h"
#include "commands/commands.h"
#include "directory/connector_test_support.h"

namespace {

using H = RecordingHost;
using D = RecordingDirectory;

const std::string kFilter = " one (&(objectClass=qupPosixWorkstation)(cn=UNIX Workstation - ws1))";
const Lines kSearches = {"search o=corp one (&(objectclass=qupPosixConfig)(cn=UNIX Config))",
                         "search ou=old,o=corp" + kFilter, "search ou=ws,o=corp" + kFilter};
const std::string kJoined =
    "modify cn=UNIX Config,o=corp +qupPosixWorkstationContexts=[ou=ws,o=corp]";
const std::string kSelects = "select /etc/vrd.conf\nselect /etc/kiv.conf\n";
const std::string kReadTwice = kSelects + kSelects, kSaved = kReadTwice + "save\nend\n";
std::string invalid(const std::string& value, const std::string& key) {
  return "The value \"" + value + "\" of t3v.qup." + key +
         " in /etc/vrd.conf is not valid and was not copied\n";
}
// The calls of a finished upgrade: the old file read twice, one save, the
// cache emptied, one restart, and then the old cache removed.
const std::string kFinished = kSaved + kCacheRemovals +
                              "init kivcd stop\ninit nscd stop\ninit kivcd start\ninit nscd start\n"
                              "remove /var/vrdqup/.user_info\nremove "
                              "/var/vrdqup/.group_info\nremove /var/vrdqup/.refresh_info\n";

TEST(UpgradeFromOldConfig, Runs) {
  struct Row {
    const char* name;
    void (*setup)(H&, D&);
    int result;
    std::string last;   // request
    std::string calls;  // the host's calls other than "set"
    // The last sets: the old values, at the edges of their ranges.
    std::string tuning = "set persistent-cache-refresh-period=0\nset create-home=no\n";
    std::string named = "";  // the old values refused
  };
  const Row rows[] = {
      {"no base name in the old file",
       [](H& h, D&) { h.stores[kOldConfigFile].erase("t3v.qup.base-name"); }, -6026, "", kSelects},
      {"the object in the second listed context", [](H&, D&) {}, 0, kJoined, kFinished},
      {"no listed context holds the object",
       [](H&, D& d) { d.reply("search ou=ws,o=corp one", 0); }, -6029, kSearches.back(),
       kReadTwice},
      {"no short host name", [](H& h, D&) { h.name = ".x"; }, -5999, "", kReadTwice},
      {"invalid old values are named and not copied",
       [](H& h, D&) {
         H::Store& old = h.stores[kOldConfigFile];
         old["t3v.qup.group-hash-size"] = "-5", old["t3v.qup.create-home"] = "maybe";
         old["t3v.qup.persistent-cache-refresh-flag"] = "\r";
       },
       0, kJoined, kFinished, "set num-threads=256\nset persistent-cache-refresh-period=0\n",
       invalid("-5", "group-hash-size") + invalid("\\x0D", "persistent-cache-refresh-flag") +
           invalid("maybe", "create-home")},
      {"the store cannot be saved: the old cache stays", [](H& h, D&) { h.saveError = ENOSPC; },
       -5999, kJoined, kSaved},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    runSettings = RunSettings{};
    runSettings.adminFdn = "cn=admin,o=corp";
    runSettings.password = "secret";
    RecordingHost host;
    RecordingConnector connector;
    D& directory = connector.directory;
    host.running = {Daemon::kKivcd, Daemon::kNscd};
    host.stores[kOldConfigFile] = {{"t3v.qup.base-name", "corp"},
                                   {"t3v.vrd.preferred-server", "ldap.example.org"},
                                   {"t3v.qup.num-threads", "256"},
                                   {"t3v.qup.persistent-cache-refresh-period", "0"},
                                   {"t3v.qup.create-home", "No"}};
    row.setup(host, directory);
    // One entry answers every search but those of the first listed context:
    // the schema, both contexts, the Config object and the host's object.
    directory.reply("search ou=old", 0);
    directory.reply("search", 0,
                    {{"cn=UNIX Config,o=corp",
                      {{"objectClasses",
                        {"qupPosixUidNumberInfo qupPosixGidNumberInfo ( NAME 'organization' )"}},
                       {"qupPosixWorkstationContexts", {"ou=old,o=corp", "ou=ws,o=corp"}},
                       {"objectClass", {"organization"}}}}});
    directory.reply("add cn=UNIX", 68);
    directory.reply("modify", 20);
    testing::internal::CaptureStdout();
    EXPECT_EQ(upgradeFromOldConfig(host, connector), row.result);
    testing::internal::GetCapturedStdout();
    std::string named;
    for (const std::string& line : host.logLines)
      named += line.starts_with("The value") ? line : "";
    EXPECT_EQ(named, row.named);
    Lines searches, calls, sets;  // one-level searches; host calls without and with "set"
    for (const std::string& request : directory.requests) {
      if (request.find(" one ") != std::string::npos)
        searches.push_back(request);
    }
    for (const std::string& call : host.calls)
      (call.starts_with("set ") ? sets : calls).push_back(call);
    EXPECT_EQ(searches, row.last.empty() ? Lines{} : kSearches);
    EXPECT_EQ(directory.requests.empty() ? "" : directory.requests.back(), row.last);
    EXPECT_EQ(joined(calls), row.calls);
    if (row.result == 0) {
      // The old values follow the key table and so replace its defaults.
      EXPECT_EQ(joined(Lines(sets.end() - 2, sets.end())), row.tuning);
      EXPECT_EQ(host.store()["num-threads"], "256");
      EXPECT_EQ(host.store()["persistent-cache-refresh-period"], "0");
      EXPECT_EQ(host.store()["user-hash-size"], "211");
      EXPECT_EQ(host.store()["preferred-server"], "ldap.example.org");
    }
  }
}

}  // namespace
