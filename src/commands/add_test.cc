// add over a recording host and directory: the whole exchange of a join, what
// it stores and restarts, and where each failure stops it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "base/host_test_support.h"
#include "base/ldap_error.h"
#include "base/paths.h"
#include "base/run_settings.h"
#include "commands/commands.h"
#include "directory/connector_test_support.h"

namespace {

using Lines = std::vector<std::string>;
const Lines kNone;

Lines cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::string kOpen = "open clear ldap.example.org:389", kBind = "bind cn=admin,o=corp";
const std::string kWs = "cn=UNIX Workstation - ws1,ou=ws,o=corp";
const std::string kClasses = "search cn=schema base objectclass=*";
const std::string kRoot = "search o=corp base ", kWsBase = "search ou=ws,o=corp base ";
const std::string kRootRead = kRoot + "objectclass=* objectClass";
const std::string kWsRead = kWsBase + "objectclass=* objectClass";
const std::string kUnmap =
    "modify cn=schema -attributetypes=[(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX "
    "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )][( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX "
    "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )]";
const Lines kHead =
    cat({{kOpen, kBind, "search  base (objectclass=*) vendorVersion", kUnmap, "refresh"},
         Lines(2, kClasses),
         {"schema-names attributeTypes"},
         Lines(2, kClasses)});
const Lines kNewContexts = {
    kRootRead, kRoot,   "add o=corp objectClass=[organization] o=[corp]",           kWsRead,
    kRoot,     kWsBase, "add ou=ws,o=corp objectClass=[organizationalUnit] ou=[ws]"};
const Lines kOldContexts = {kRootRead, "search cn=schema base objectClasses=organization", kWsRead,
                            "search cn=schema base objectClasses=organization"};
const std::string kConfigAdd =
    "add cn=UNIX Config,o=corp objectClass=[qupPosixConfig] cn=[UNIX Config] "
    "ACL=[2#entry#[Public]#qupPosixWorkstationContexts][2#entry#[Public]#cn]";
const std::string kRights =
    "modify o=corp +ACL=[1#entry#[Public]#[Entry Rights]][3#subtree#[Public]#uidNumber]"
    "[3#subtree#[Public]#gidNumber][3#subtree#[Public]#homeDirectory][3#subtree#[Public]#"
    "loginShell][3#subtree#[Public]#gecos][3#subtree#[Public]#memberUid][3#subtree#[Public]#"
    "description][3#subtree#[Public]#qupPosixWorkstationList][3#subtree#[Public]#"
    "qupPosixWorkstationContexts][3#subtree#[Public]#qupPosixSalt]";
const std::string kWsAdd =
    "add " + kWs + " objectClass=[qupPosixWorkstation] ACL=[2#entry#[Public]#groupMembership]" +
    "[2#entry#[Public]#cn]";
const std::string kTrustee = "modify o=corp +ACL=[3#subtree#" + kWs +
                             "#passwordExpirationTime][3#subtree#" + kWs +
                             "#loginDisabled][3#subtree#" + kWs + "#LoginExpirationTime]";
const std::string kContext =
    "modify cn=UNIX Config,o=corp +qupPosixWorkstationContexts=[ou=ws,o=corp]";
const std::string kProxyAdd =
    "add cn=proxy,o=corp cn=[proxy] sn=[proxy] uniqueID=[proxy] userPassword=[pw] "
    "objectClass=[inetOrgPerson][top]";
const Lines kFirstJoin =
    cat({kHead, kNewContexts, {kConfigAdd, kRights, kWsAdd, kTrustee, kContext}});
const Lines kAfterOpen(kFirstJoin.begin() + 1, kFirstJoin.end());
const Lines kJoinAgain = cat({kHead, kOldContexts, {kConfigAdd, kRights, kWsAdd}});

const std::string kOutHead =
    "\nDeleted the attribute mappings gidNumber => GID and uidNumber => UID\nKIV Schema is "
    "already extended.\nKIV Unique id schema is already extended.\n";
const std::string kConfigMade =
    "Creating the context...done.\nCreating the context...done.\n"
    "Creating the Unix Config object...done.\n";
const std::string kWsMade = "Creating the Unix Workstation object...done.\n";
const std::string kContextAdded = "Adding the workstation context...done.\n";
const std::string kWsKept = "Creating the Unix Workstation object... already exists\n";
const std::string kKept =
    kOutHead + "Creating the Unix Config object... already exists\n" + kWsKept;
const std::string kWsDeleted = "Deleting the Unix Workstation object...done.\n";
const std::string kJoined = kOutHead + kConfigMade + kWsMade + kContextAdded;
const std::string kWaiting =
    "Waiting for LDAP server to start on secure port. This may take a few minutes...";
// The host calls of a saved store: the key table in its order, then the save.
Lines storeCalls(bool ssl = false, const Lines& proxy = {}) {
  Lines calls = {"set admin-fdn=cn=admin,o=corp", "set base-name=o=corp", "set ldap-port=389"};
  if (ssl)
    calls.insert(calls.end(), {"set ldap-ssl-port=636", "set certificate-file-type=der"});
  return cat(
      {calls,
       {"set preferred-server=ldap.example.org", "set schema=rfc2307", "set num-threads=5",
        "set enable-persistent-cache=yes", "set cache-only=no", "set persistent-search=yes",
        "set case-sensitive=no", "set user-hash-size=211", "set group-hash-size=211",
        "set persistent-cache-refresh-period=28800", "set persistent-cache-refresh-flag=all",
        ssl ? "set type-of-authentication=2" : "set type-of-authentication=1",
        "set create-home=yes", "set support-alias-name=no", "set support-outside-base-context=yes"},
       proxy,
       {"save", "end"}});
}
const std::string kRemove = "remove /var/lib/velmar-pelk/.";
const Lines kRestart = {
    kRemove + "refresh_info",   kRemove + "user_info.dir",  kRemove + "user_info.pag",
    kRemove + "group_info.dir", kRemove + "group_info.pag", "init kivcd stop",
    "init nscd stop",           "init kivcd start",         "init nscd start"};
const Lines kJoinCalls = cat({storeCalls(), kRestart});
const Lines kProxyKeys = {"set proxy-user-fdn=cn=proxy,o=corp", "set proxy-user-pwd=pw"};

struct World {
  RecordingHost host;
  RecordingConnector connector;
  RecordingDirectory& directory = connector.directory;
};

// Answers every search: the schema holds all the names the join looks for.
const DirectoryEntry kEverything = {
    "o=corp",
    {{"objectClass", {"organization"}},
     {"objectClasses",
      {"qupPosixConfig qupPosixWorkstation qupPosixUidNumberInfo qupPosixGidNumberInfo",
       "( NAME 'organization' STRUCTURAL )", "( NAME 'device' STRUCTURAL X-VRD_NOT_CONTAINER )"}}}};

// The objects answer "already exists", the Workstation object `times` times
// (-o deletes it in between).
void existing(World& w, int times = -1) {
  runSettings.overwriteCount = times < 0 ? 0 : 1;
  w.directory.reply("add cn=UNIX Workstation", 68, {}, times);
  w.directory.reply("add cn=UNIX Workstation", 0);
  w.directory.reply("add cn=UNIX Config", 68);
  w.directory.reply("modify o=corp", 20);
  w.directory.reply("modify cn=UNIX", 20);
  w.directory.reply("search", 0, {kEverything});
}

void proxy(World&) {
  runSettings.proxyUserFdn = "cn=proxy,o=corp";
  runSettings.proxyUserPassword = "pw";
}

struct Row {
  const char* name;
  std::function<void(World&)> setup = [](World&) {};
  int result = 0;
  Lines requests = kFirstJoin;
  std::string out = kJoined;
  Lines calls = {};      // none given: a successful join's
  std::string log = "";  // a line the log must hold
};

void runRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    runSettings = RunSettings{};
    runSettings.adminFdn = "cn=admin,o=corp";
    runSettings.password = "secret";
    runSettings.partitionRoot = "o=corp";
    runSettings.workstationContext = "ou=ws,o=corp";
    runSettings.ldapServer = "ldap.example.org";
    World w;
    w.host.running = {Daemon::kKivcd, Daemon::kNscd};
    row.setup(w);
    // Without the row's answers the contexts are missing.
    w.directory.reply(kRoot, 32, {}, 2);
    w.directory.reply(kWsBase, 32, {}, 2);
    w.directory.reply("search", 0, {kEverything});
    w.directory.schemaNames[SchemaElementKind::kAttributeType] = {"qupPosixPAMServiceExcludeList"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();  // the restart's messages
    EXPECT_EQ(runAdd(w.host, w.connector), row.result);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.out);
    const Lines& calls = row.result == 0 && row.calls.empty() ? kJoinCalls : row.calls;
    EXPECT_EQ(w.directory.requests, row.requests);
    EXPECT_EQ(w.host.calls, calls);
    const Lines& log = w.host.logLines;
    EXPECT_TRUE(row.log.empty() || std::count(log.begin(), log.end(), row.log) == 1) << row.log;
  }
}

TEST(AddJoin, Joins) {
  runRows({
      {"first add on an empty directory"},
      {"re-run over existing objects and proxy user, the stored base name in capitals",
       [](World& w) {
         existing(w), proxy(w), w.directory.reply("add cn=proxy", 68);
         w.host.store()["base-name"] = "O=CORP";
       },
       0, cat({kJoinAgain, {kContext, kProxyAdd, "modify cn=proxy,o=corp =userPassword=[pw]"}}),
       kKept + kContextAdded, cat({storeCalls(false, kProxyKeys), kRestart})},
      {"-o replaces the Workstation object once", [](World& w) { existing(w, 1); }, 0,
       cat({kJoinAgain, {"delete " + kWs, kWsAdd, kTrustee, kContext}}),
       kKept + kWsDeleted + kWsMade + kContextAdded},
      {"-o keeps an object that exists again after its delete", [](World& w) { existing(w, 2); }, 0,
       cat({kJoinAgain, {"delete " + kWs, kWsAdd, kContext}}),
       kKept + kWsDeleted + kWsKept + kContextAdded},
      {"-l binds over SSL; -y and -d create the proxy user",
       [](World& w) { runSettings.sslFlag = 1, proxy(w); }, 0,
       cat({{"open ssl ldap.example.org:636"}, kAfterOpen, {kProxyAdd}}), kJoined,
       cat({storeCalls(true, kProxyKeys), kRestart})},
      {"admin name and password typed, the server up at the third bind",
       [](World& w) {
         runSettings.adminFdn = runSettings.password = std::nullopt;
         w.host.typedWords = {"cn=admin,o=corp"}, w.host.typedPasswords = {"secret"};
         w.directory.reply("bind", 81, {}, 2);
       },
       0, cat({{kOpen, kBind, kBind}, kAfterOpen}), "Admin Name:" + kWaiting + "." + kJoined,
       cat({{"pause 5", "pause 5"}, kJoinCalls})},
      {"password from PELK_PWD, -y without -d",
       [](World& w) {
         runSettings.password.reset(), w.host.environment["PELK_PWD"] = "secret";
         runSettings.proxyUserFdn = "cn=proxy,o=corp";
       }},
  });
}

// A failed step returns its code; the store and the daemons stay as they were.
TEST(AddJoin, Failures) {
  static std::string longContext = "ou=" + std::string(220, 'a') + ",o=corp";  // a 256-byte DN
  auto bind = [](int code) { return [code](World& w) { w.directory.reply("bind", code); }; };
  std::string bindError = "\nError:cn=admin,o=corp ";
  const Lines bound = {kOpen, kBind};
  auto answer = [](const char* prefix, int code) {
    return [=](World& w) { w.directory.reply(prefix, code); };
  };
  const std::string noSsl =
      "SSL cannot be set up for the LDAP server \"ldap.example.org\" on port 636: set-up failed\n";
  const std::string proxyIsAdmin =
      "The proxy user \"CN=Admin, o=corp\" is the admin itself: its password would be replaced\n";
  const char* noSpace = "Unable to save /etc/kiv.conf: No space left on device\n";
  runRows({
      {"the host name cannot be read", [](World& w) { w.host.hostNameError = EIO; }, -1, kNone, ""},
      {"a proxy FDN that is not cn=<name>",
       [](World& w) { proxy(w), runSettings.proxyUserFdn = "uid=proxy,o=corp"; }, -5999, kNone,
       "The proxy user FDN \"uid=proxy,o=corp\" must begin with cn=<name>\n"},
      {"a workstation DN over 255 bytes",
       [](World&) { runSettings.workstationContext = longContext; }, -5999, kNone,
       "The workstation DN \"cn=UNIX Workstation - ws1," + longContext +
           "\" is longer than 255 bytes\n"},
      {"end of input at the admin name", [](World&) { runSettings.adminFdn.reset(); }, -5999,
       Lines{kOpen}, "Admin Name:Invalid entry\n"},
      {"the server never comes up", bind(81), -5999, cat({{kOpen}, Lines(60, kBind)}),
       kWaiting + std::string(59, '.') +
           "\nCan't contact LDAP server \"ldap.example.org\" on port 389\n",
       Lines(60, "pause 5")},
      {"bind 49", bind(49), -5999, bound, bindError + ldapErrorText(49) + "\n"},
      {"bind 48", bind(48), -5999, bound, bindError + ldapErrorText(48) + "\n"},
      {"bind 13", bind(13), -5999, bound,
       "\nThe LDAP server currently does not allow cleartext passwords.\nPlease enable \"Allow "
       "cleartext password\" for the LDAP Group object or use SSL connection and retry the "
       "operation.\n"},
      {"bind 34", bind(34), -5999, bound, "\nInvalid LDAP DN syntax \"cn=admin,o=corp\"\n"},
      {"a failed SSL set-up ends before any bind",
       [](World& w) { runSettings.sslFlag = w.connector.sslResult = 1; }, -5999,
       Lines{"open ssl ldap.example.org:636"}, noSsl, kNone, noSsl},
      {"an empty proxy user password",
       [](World& w) { proxy(w), runSettings.proxyUserPassword = ""; }, -5999, kNone,
       "An empty proxy user password is not accepted\n"},
      {"the proxy user is the admin, as DNs compare",
       [](World& w) { proxy(w), runSettings.proxyUserFdn = "CN=Admin, o=corp"; }, -5999, bound,
       "\n" + proxyIsAdmin, kNone, proxyIsAdmin},
  });
  runRows({
      {"the store names another partition root",
       [](World& w) { w.host.store()["base-name"] = "o=other"; }, -6004, kHead,
       kOutHead + "Error: Specified partition root and Partition root in the KIV configuration "
                  "file doesn't match.\n",
       kNone,
       "Error: Specified partition root and Partition root in the VRD configuration file doesn't "
       "match.\n"},
      {"a partition root that is no container",
       [](World& w) {
         w.directory.reply(kRootRead, 0, {{"o=corp", {{"objectClass", {"device"}}}}});
       },
       -6016, cat({kHead, {kRootRead, "search cn=schema base objectClasses=device"}}), kOutHead},
      {"the Config object's add times out", answer("add cn=UNIX Config", -5), -5,
       cat({kHead, kNewContexts, {kConfigAdd}}),
       kOutHead +
           "Creating the context...done.\nCreating the context...done.\nCreating the Unix "
           "Config object...\n" +
           ldapErrorText(-5) + "\n"},
      {"the Workstation object cannot be added: no proxy user either",
       [](World& w) { proxy(w), w.directory.reply("add cn=UNIX Workstation", 50); }, 50,
       cat({kHead, kNewContexts, {kConfigAdd, kRights, kWsAdd}}),
       kOutHead + kConfigMade + "Creating the Unix Workstation object...\n" + ldapErrorText(50) +
           "\n"},
      {"-o cannot delete the Workstation object",
       [](World& w) { w.directory.reply("delete", 50), existing(w, 1); }, 50,
       cat({kJoinAgain, {"delete " + kWs}}), kKept + "Deleting the Unix Workstation object..."},
      {"the context cannot be listed in the Config object", answer("modify cn=UNIX Config", 50), 50,
       kFirstJoin,
       kOutHead + kConfigMade + kWsMade + "Adding the workstation context...\n" +
           ldapErrorText(50) + "\n"},
      {"the proxy user cannot be added",
       [](World& w) { proxy(w), w.directory.reply("add cn=proxy", 50); }, 50,
       cat({kFirstJoin, {kProxyAdd}}), kJoined},
      {"the store cannot be saved", [](World& w) { w.host.saveError = ENOSPC; }, -5999, kFirstJoin,
       kJoined + noSpace, storeCalls(), noSpace},
  });
}

}  // namespace
