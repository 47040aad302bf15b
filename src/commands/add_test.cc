// add over a recording host and directory: the whole exchange of a join, what
// it stores and restarts, and where each failure stops it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "base/host_test_support.h"
#include "base/ldap_error.h"
#include "base/run_settings.h"
#include "commands/commands.h"
#include "directory/connector_test_support.h"

namespace {

// Requests and host calls are compared as text, a line each.
const std::string kOpen = "open clear ldap.example.org:389\n", kBind = "bind cn=admin,o=corp\n";
const std::string kWs = "cn=UNIX Workstation - ws1,ou=ws,o=corp";
const std::string kClasses = "search cn=schema base objectclass=*\n";
const std::string kRootRead = "search o=corp base objectclass=* objectClass";
const std::string kWsRead = "search ou=ws,o=corp base objectclass=* objectClass\n";
const std::string kHead =
    kOpen + kBind + "search  base (objectclass=*) vendorVersion\n" +
    "modify cn=schema -attributetypes=[(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX "
    "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )][( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX "
    "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )]\nrefresh\n" +
    kClasses + kClasses + "schema-names attributeTypes\n" + kClasses + kClasses;
const std::string kNewContexts =
    kRootRead + "\nsearch o=corp base \nadd o=corp objectClass=[organization] o=[corp]\n" +
    kWsRead + "search o=corp base \nsearch ou=ws,o=corp base \nadd ou=ws,o=corp objectClass=" +
    "[organizationalUnit] ou=[ws]\n";
const std::string kIsContainer = "search cn=schema base objectClasses=organization\n";
const std::string kOldContexts = kRootRead + "\n" + kIsContainer + kWsRead + kIsContainer;
const std::string kConfigAdd =
    "add cn=UNIX Config,o=corp objectClass=[qupPosixConfig] cn=[UNIX Config] "
    "ACL=[2#entry#[Public]#qupPosixWorkstationContexts][2#entry#[Public]#cn]\n";
const std::string kRights =
    "modify o=corp +ACL=[1#entry#[Public]#[Entry Rights]][3#subtree#[Public]#uidNumber]"
    "[3#subtree#[Public]#gidNumber][3#subtree#[Public]#homeDirectory][3#subtree#[Public]#"
    "loginShell][3#subtree#[Public]#gecos][3#subtree#[Public]#memberUid][3#subtree#[Public]#"
    "description][3#subtree#[Public]#qupPosixWorkstationList][3#subtree#[Public]#"
    "qupPosixWorkstationContexts][3#subtree#[Public]#qupPosixSalt]\n";
const std::string kWsAdd = "add " + kWs +
                           " objectClass=[qupPosixWorkstation] ACL=[2#entry#[Public]#"
                           "groupMembership][2#entry#[Public]#cn]\n";
const std::string kWsDelete = "delete " + kWs + "\n";
const std::string kTrustee = "modify o=corp +ACL=[3#subtree#" + kWs +
                             "#passwordExpirationTime][3#subtree#" + kWs +
                             "#loginDisabled][3#subtree#" + kWs + "#LoginExpirationTime]\n";
const std::string kContext =
    "modify cn=UNIX Config,o=corp +qupPosixWorkstationContexts=[ou=ws,o=corp]\n";
const std::string kProxyAdd =
    "add cn=proxy,o=corp cn=[proxy] sn=[proxy] uniqueID=[proxy] userPassword=[pw] "
    "objectClass=[inetOrgPerson][top]\n";
const std::string kFirstJoin =
    kHead + kNewContexts + kConfigAdd + kRights + kWsAdd + kTrustee + kContext;
const std::string kAfterOpen = kFirstJoin.substr(kOpen.size());
const std::string kJoinAgain = kHead + kOldContexts + kConfigAdd + kRights + kWsAdd;

const std::string kOutHead =
    "\nDeleted the attribute mappings gidNumber => GID and uidNumber => UID\nKIV Schema is "
    "already extended.\nKIV Unique id schema is already extended.\n";
const std::string kContextsMade = "Creating the context...done.\nCreating the context...done.\n";
const std::string kConfigMade = kContextsMade + "Creating the Unix Config object...done.\n";
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
std::string storeCalls(bool ssl = false, bool proxy = false) {
  return std::string("set admin-fdn=cn=admin,o=corp\nset base-name=o=corp\nset ldap-port=389\n") +
         (ssl ? "set ldap-ssl-port=636\nset certificate-file-type=der\n" : "") +
         "set preferred-server=ldap.example.org\nset schema=rfc2307\nset num-threads=5\n"
         "set enable-persistent-cache=yes\nset cache-only=no\nset persistent-search=yes\n"
         "set case-sensitive=no\nset user-hash-size=211\nset group-hash-size=211\n"
         "set persistent-cache-refresh-period=28800\nset persistent-cache-refresh-flag=all\n" +
         (ssl ? "set type-of-authentication=2\n" : "set type-of-authentication=1\n") +
         "set create-home=yes\nset support-alias-name=no\nset support-outside-base-context=yes\n" +
         (proxy ? "set proxy-user-fdn=cn=proxy,o=corp\nset proxy-user-pwd=pw\n" : "") +
         "save\nend\n";
}
const std::string kRestart =
    kCacheRemovals + "init kivcd stop\ninit nscd stop\ninit kivcd start\ninit nscd start\n";
const std::string kJoinCalls = storeCalls() + kRestart;

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
  std::string requests = kFirstJoin;
  std::string out = kJoined;
  std::string calls = "";  // none given: a successful join's
  std::string log = "";    // a line the log must hold
};

// A join's whole exchange; a failed step returns its code, and the store
// and the daemons stay as they were.
TEST(AddJoin, JoinsAndFailures) {
  static std::string longContext = "ou=" + std::string(220, 'a') + ",o=corp";  // a 256-byte DN
  auto answer = [](const char* prefix, int code) {
    return [=](World& w) { w.directory.reply(prefix, code); };
  };
  const std::string noSsl =
      "SSL cannot be set up for the LDAP server \"ldap.example.org\" on port 636: set-up failed\n";
  const std::string proxyIsAdmin =
      "The proxy user \"CN=Admin, o=corp\" is the admin itself: its password would be replaced\n";
  const std::string otherRoot =
      "Error: Specified partition root and Partition root in the KIV configuration file doesn't "
      "match.\n";
  const char* noSpace = "Unable to save /etc/kiv.conf: No space left on device\n";
  const Row rows[] = {
      {"first add on an empty directory"},
      {"re-run over existing objects and proxy user, the stored base name in capitals",
       [](World& w) {
         existing(w), proxy(w), w.directory.reply("add cn=proxy", 68);
         w.host.store()["base-name"] = "O=CORP";
       },
       0, kJoinAgain + kContext + kProxyAdd + "modify cn=proxy,o=corp =userPassword=[pw]\n",
       kKept + kContextAdded, storeCalls(false, true) + kRestart},
      {"-o replaces the Workstation object once", [](World& w) { existing(w, 1); }, 0,
       kJoinAgain + kWsDelete + kWsAdd + kTrustee + kContext,
       kKept + kWsDeleted + kWsMade + kContextAdded},
      {"-o keeps an object that exists again after its delete", [](World& w) { existing(w, 2); }, 0,
       kJoinAgain + kWsDelete + kWsAdd + kContext, kKept + kWsDeleted + kWsKept + kContextAdded},
      {"-l binds over SSL; -y and -d create the proxy user",
       [](World& w) { runSettings.sslFlag = 1, proxy(w); }, 0,
       "open ssl ldap.example.org:636\n" + kAfterOpen + kProxyAdd, kJoined,
       storeCalls(true, true) + kRestart},
      {"admin name and password typed, the server up at the third bind",
       [](World& w) {
         runSettings.adminFdn = runSettings.password = std::nullopt;
         w.host.typedWords = {"cn=admin,o=corp"}, w.host.typedPasswords = {"secret"};
         w.directory.reply("bind", 81, {}, 2);
       },
       0, kOpen + kBind + kBind + kAfterOpen, "Admin Name:" + kWaiting + "." + kJoined,
       "pause 5\npause 5\n" + kJoinCalls},
      {"password from PELK_PWD, -y without -d",
       [](World& w) {
         runSettings.password.reset(), w.host.environment["PELK_PWD"] = "secret";
         runSettings.proxyUserFdn = "cn=proxy,o=corp";
       }},
      // The failures.
      {"the host name cannot be read", [](World& w) { w.host.hostNameError = EIO; }, -1, "", ""},
      {"a proxy FDN that is not cn=<name>",
       [](World& w) { proxy(w), runSettings.proxyUserFdn = "uid=proxy,o=corp"; }, -5999, "",
       "The proxy user FDN \"uid=proxy,o=corp\" must begin with cn=<name>\n"},
      {"a workstation DN over 255 bytes",
       [](World&) { runSettings.workstationContext = longContext; }, -5999, "",
       "The workstation DN \"cn=UNIX Workstation - ws1," + longContext +
           "\" is longer than 255 bytes\n"},
      // The other bind failures and the prompts are rows of the session's test.
      {"bind refused", answer("bind", 49), -5999, kOpen + kBind,
       "\nError:cn=admin,o=corp " + std::string(ldapErrorText(49)) + "\n"},
      {"a failed SSL set-up ends before any bind",
       [](World& w) { runSettings.sslFlag = w.connector.sslResult = 1; }, -5999,
       "open ssl ldap.example.org:636\n", noSsl, "", noSsl},
      {"an empty proxy user password",
       [](World& w) { proxy(w), runSettings.proxyUserPassword = ""; }, -5999, "",
       "An empty proxy user password is not accepted\n"},
      {"the proxy user is the admin, as DNs compare",
       [](World& w) { proxy(w), runSettings.proxyUserFdn = "CN=Admin, o=corp"; }, -5999,
       kOpen + kBind, "\n" + proxyIsAdmin, "", proxyIsAdmin},
      {"the store names another partition root; the log names the old file",
       [](World& w) { w.host.store()["base-name"] = "o=other"; }, -6004, kHead,
       kOutHead + otherRoot, "", std::string(otherRoot).replace(otherRoot.find("KIV"), 3, "VRD")},
      {"a partition root that is no container",
       [](World& w) {
         w.directory.reply(kRootRead, 0, {{"o=corp", {{"objectClass", {"device"}}}}});
       },
       -6016, kHead + kRootRead + "\nsearch cn=schema base objectClasses=device\n", kOutHead},
      {"the Config object's add times out", answer("add cn=UNIX Config", -5), -5,
       kHead + kNewContexts + kConfigAdd,
       kOutHead + kContextsMade + "Creating the Unix Config object...\n" + ldapErrorText(-5) +
           "\n"},
      {"the Workstation object cannot be added: no proxy user either",
       [](World& w) { proxy(w), w.directory.reply("add cn=UNIX Workstation", 50); }, 50,
       kHead + kNewContexts + kConfigAdd + kRights + kWsAdd,
       kOutHead + kConfigMade + "Creating the Unix Workstation object...\n" + ldapErrorText(50) +
           "\n"},
      {"-o cannot delete the Workstation object",
       [](World& w) { w.directory.reply("delete", 50), existing(w, 1); }, 50,
       kJoinAgain + kWsDelete, kKept + "Deleting the Unix Workstation object..."},
      {"the context cannot be listed in the Config object", answer("modify cn=UNIX Config", 50), 50,
       kFirstJoin,
       kOutHead + kConfigMade + kWsMade + "Adding the workstation context...\n" +
           ldapErrorText(50) + "\n"},
      {"the proxy user cannot be added",
       [](World& w) { proxy(w), w.directory.reply("add cn=proxy", 50); }, 50,
       kFirstJoin + kProxyAdd, kJoined},
      {"the store cannot be saved", [](World& w) { w.host.saveError = ENOSPC; }, -5999, kFirstJoin,
       kJoined + noSpace, storeCalls(), noSpace},
  };
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
    w.directory.reply("search o=corp base ", 32, {}, 2);
    w.directory.reply("search ou=ws,o=corp base ", 32, {}, 2);
    w.directory.reply("search", 0, {kEverything});
    w.directory.schemaNames[SchemaElementKind::kAttributeType] = {"qupPosixPAMServiceExcludeList"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();  // the restart's messages
    EXPECT_EQ(runAdd(w.host, w.connector), row.result);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.out);
    EXPECT_EQ(joined(w.directory.requests), row.requests);
    EXPECT_EQ(joined(w.host.calls), row.result == 0 && row.calls.empty() ? kJoinCalls : row.calls);
    const Lines& log = w.host.logLines;
    EXPECT_TRUE(row.log.empty() || std::count(log.begin(), log.end(), row.log) == 1) << row.log;
  }
}

}  // namespace
