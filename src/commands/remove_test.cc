#include <gtest/gtest.h>

#include <cerrno>

#include "base/host_test_support.h"
#include "base/ldap_error.h"
#include "base/run_settings.h"
#include "commands/commands.h"
#include "directory/connector_test_support.h"

namespace {

using namespace std::string_literals;
using H = RecordingHost;
using D = RecordingDirectory;

const std::string kWs = "ou=ws,o=corp", kWs2 = "ou=ws2,o=corp", kConfig = "cn=UNIX Config,o=corp";
const std::string kMe = "cn=UNIX Workstation - ws1," + kWs;
const Lines kTwo = {kWs, kWs2}, kWs2First = {kWs2, kWs};
const std::string kBind = "bind cn=admin,o=corp\n", kUp = "open clear ldap1:1389\n" + kBind;
const std::string kConfigSearch =
    "search o=corp one (&(objectclass=qupPosixConfig)(cn=UNIX Config))\n";
const std::string kOwnFilter =
    " one (&(objectClass=qupPosixWorkstation)(cn=UNIX Workstation - ws1))\n";
const std::string kOwn = "search " + kWs + kOwnFilter, kOwn2 = "search " + kWs2 + kOwnFilter;
const std::string kAny =
    "search " + kWs + " one (&(objectclass=qupPosixWorkstation)(cn=UNIX Workstation - *))\n";
const std::string kDeleteMe = "delete " + kMe + "\n", kDeleteConfig = "delete " + kConfig + "\n";
const std::string kWithdraw = "modify " + kConfig + " -qupPosixWorkstationContexts=[" + kWs + "]\n";
const std::string kDeleted = kConfigSearch + kOwn + kDeleteMe, kFound = kDeleted + kAny;
const std::string kAll = kFound + kWithdraw + kAny + kDeleteConfig;
const std::string kEmptied = kConfigSearch + kOwn + kAny + kDeleteConfig;
const std::string kWsDone = "\nDeleting the Unix Workstation object...done.\n";
const std::string kConfigDone = "Deleting the Config object...done.\n";
const std::string kStopAndCleanup =
    "init kivcd stop\ninit nscd stop\ninit nscd start\nremove /var/lib/velmar-pelk/.ldap1.der\n"
    "remove /var/lib/velmar-pelk/.ldap1.der.tmp\n" +
    kCacheRemovals + "remove /var/lib/velmar-pelk/kivutils.inp\nremove /etc/kiv.conf\n";

// The request `line` answers `code`; a search answered 0, or `found`, finds this host.
D& reply(D& directory, const std::string& line, int code, bool found = false) {
  std::vector<DirectoryEntry> entries;
  if (line.starts_with("search") && (code == 0 || found))
    entries.push_back({kMe, {}});
  directory.reply(line.substr(0, line.find('\n')), code, entries);
  return directory;
}
D& contexts(D& directory, const Lines& dns, const char* attribute = "qupPosixWorkstationContexts") {
  directory.reply("search o=corp ", 0, {{kConfig, {{attribute, dns}}}});
  return directory;
}
// The requests of the corvex schema: its names for the class and attributes.
std::string corvexNames(std::string text) {
  const char* rfc[] = {"qupPosixWorkstationContexts", "qupPosixWorkstation", "qupPosixConfig"};
  const char* names[] = {"UNIX:Workstation Contexts", "UNIX:Workstation", "Unix:Config"};
  for (size_t i = 0; i < std::size(rfc); ++i) {
    for (size_t at; (at = text.find(rfc[i])) != std::string::npos;)
      text.replace(at, std::string(rfc[i]).size(), names[i]);
  }
  return text;
}

// A host joined in clear text, and rm -r o=other -S other: the store replaces both.
RecordingHost joinedHost() {
  runSettings = RunSettings{};
  runSettings.partitionRoot = "o=other";
  runSettings.ldapServer = "other";
  RecordingHost host;
  host.store() = {{"base-name", "o=corp"},
                  {"admin-fdn", "cn=admin,o=corp"},
                  {"preferred-server", "ldap1"},
                  {"ldap-port", "1389"},
                  {"certificate-file-type", "der"}};
  host.files = {"/etc/kiv.conf"};
  host.running = {Daemon::kKivcd, Daemon::kNscd};
  host.environment["PELK_PWD"] = "secret";
  return host;
}
const std::string kNoCertificate =
    "The stored certificate /var/lib/velmar-pelk/.ldap1.der of the LDAP server \"ldap1\" cannot be "
    "used: it does not exist. Run kivconfig -k to fetch it again.\n";

TEST(Deconfigure, RequestsOutputAndCleanup) {
  struct Row {
    const char* name;
    void (*setup)(H&, D&);
    int result;
    std::string requests, output, calls = result == 0 ? kStopAndCleanup : "";
  };
  const Row rows[] = {
      {"last host of one context", [](H&, D& d) { reply(d, kOwn, 0); }, 0, kUp + kAll,
       kWsDone + kConfigDone},
      {"another host in the context", [](H&, D& d) { reply(reply(d, kOwn, 0), kAny, 0); }, 0,
       kUp + kFound + kAny, kWsDone},
      {"first of two, other unsearched",
       [](H&, D& d) { contexts(reply(reply(d, kOwn2, 32), kOwn, 0), kTwo); }, 0,
       kUp + kFound + kWithdraw, kWsDone},
      {"second of two", [](H&, D& d) { contexts(reply(d, kOwn, 0), kWs2First); }, 0,
       kUp + kConfigSearch + kOwn2 + kOwn + kDeleteMe + kAny + kWithdraw, kWsDone},
      {"host not found, none left", [](H& h, D&) { h.store()["schema"] = "rfc2307"; }, 0,
       kUp + kEmptied, "\n" + kConfigDone},
      // The other corvex name of the contexts attribute is a row of findConfigObject's test.
      {"corvex flavour",
       [](H& h, D& d) {
         h.store()["schema"] = "CorVex";
         contexts(reply(d, corvexNames(kOwn), 0), {kWs}, "UNIX:Workstation Contexts");
       },
       0, kUp + corvexNames(kAll), kWsDone + kConfigDone},
      {"bind refused", [](H&, D& d) { reply(d, "bind", 49); }, -5999, kUp,
       "\nError:cn=admin,o=corp " + std::string(ldapErrorText(49)) + "\n"},
      {"Config search fails", [](H&, D& d) { reply(d, kConfigSearch, 51); }, 51,
       kUp + kConfigSearch, "\n"},
      {"missing context",
       [](H&, D& d) { contexts(reply(reply(d, kOwn2, 32), kOwn, 0), kWs2First); }, 32,
       kUp + kConfigSearch + kOwn2, "\n"},
      {"host delete fails", [](H&, D& d) { reply(reply(d, kOwn, 0), "delete", 50); }, 50,
       kUp + kDeleted,
       "\nDeleting the Unix Workstation object...\n" + std::string(ldapErrorText(50)) + "\n"},
      {"search after it fails", [](H&, D& d) { reply(reply(d, kOwn, 0), kAny, 51); }, 51,
       kUp + kFound, kWsDone},
      {"withdrawal fails", [](H&, D& d) { reply(reply(d, kOwn, 0), "modify", 53); }, 53,
       kUp + kFound + kWithdraw, kWsDone},
      {"Config delete fails", [](H&, D& d) { reply(d, "delete", 66); }, 66, kUp + kEmptied,
       "\nDeleting the Config object...\n" + std::string(ldapErrorText(66)) + "\n"},
      {"no base-name", [](H& h, D&) { h.store().erase("base-name"); }, -6004, "", ""},
      {"no admin-fdn", [](H& h, D&) { h.store().erase("admin-fdn"); }, -6004, "", ""},
      {"no preferred-server", [](H& h, D&) { h.store().erase("preferred-server"); }, -6004, "", ""},
      {"-a kept", [](H&, D&) { runSettings.adminFdn = "cn=a,o=corp"; }, 0,
       "open clear ldap1:1389\nbind cn=a,o=corp\n" + kEmptied, "\n" + kConfigDone},
      {"joined over SSL, no certificate stored",
       [](H& h, D&) { h.store()["ldap-ssl-port"] = "1636"; }, -5999, "", kNoCertificate},
      {"a racing host did each step first (32, 16, 32)",
       [](H&, D& d) {
         reply(reply(reply(reply(d, kOwn, 0), kDeleteMe, 32), kWithdraw, 16), kDeleteConfig, 32);
       },
       0, kUp + kAll, kWsDone + kConfigDone},
      {"size limit with entries: others left",
       [](H&, D& d) { reply(reply(d, kOwn, 0), kAny, 4, true); }, 0, kUp + kFound + kAny, kWsDone},
      {"size limit without entries", [](H&, D& d) { reply(reply(d, kOwn, 0), kAny, 4); }, 4,
       kUp + kFound, kWsDone},
      {"Config object without contexts", [](H&, D& d) { contexts(d, {}); }, 0,
       kUp + kConfigSearch + kDeleteConfig, "\n" + kConfigDone},
      {"no Config object any more", [](H&, D& d) { d.reply("search o=corp", 0); }, 0,
       kUp + kConfigSearch, "\n"},
      {"no corvex Config object any more",
       [](H& h, D& d) { h.store()["schema"] = "corvex", d.reply("search o=corp", 0); }, 0,
       kUp + corvexNames(kConfigSearch), "\n"},
      {"a context holding NUL", [](H&, D& d) { contexts(d, {"ou=w\0s,o=corp"s}); }, 34,
       kUp + kConfigSearch, "\n"},
      {"stored server refused", [](H& h, D&) { h.store()["preferred-server"] = "ldap 1"; }, -5999,
       "",
       "The LDAP server name \"ldap 1\" is not valid: give a host name, an IPv4 address or an "
       "IPv6 address in brackets\n"},
      {"no short host name", [](H& h, D&) { h.name = ".example.org"; }, -5999, "",
       "The host name \".example.org\" has no short name before its first dot\n"},
      {"files that stay are named after every removal",
       [](H& h, D&) {
         h.removeErrors = {{"/var/lib/velmar-pelk/.ldap1.der", EACCES}, {"/etc/kiv.conf", EROFS}};
       },
       -5999, kUp + kEmptied,
       "\n" + kConfigDone +
           "Unable to remove /var/lib/velmar-pelk/.ldap1.der: Permission denied\n"
           "Unable to remove /etc/kiv.conf: Read-only file system\n",
       kStopAndCleanup},
  };
  for (const auto& [name, setup, result, requests, output, calls] : rows) {
    SCOPED_TRACE(name);
    RecordingHost host = joinedHost();
    RecordingConnector connector;
    setup(host, connector.directory);
    contexts(connector.directory, {kWs});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(deconfigure(host, connector), result);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), output);
    EXPECT_EQ(joined(connector.directory.requests), requests);
    EXPECT_EQ(joined(host.calls), calls);
  }
}

// Each request of rm fails once; rm run again over the directory as that run
// left it finishes, and nothing of this host is left.
TEST(Deconfigure, FinishesWhatAFailedRunLeft) {
  const Lines sent = {kConfigSearch, kOwn, kDeleteMe, kAny, kWithdraw, kAny, kDeleteConfig};
  const decltype(DirectoryTree::entries) untouched = {{"o=corp", {}}, {kWs, {}}};
  for (size_t failing = 0; failing < sent.size(); ++failing) {
    for (int code : {51, 52, 80, 81}) {
      SCOPED_TRACE(sent[failing] + std::to_string(code));
      DirectoryTree tree;
      tree.entries = untouched;
      tree.entries[kConfig] = {{"cn", {"UNIX Config"}}, {"qupPosixWorkstationContexts", {kWs}}};
      tree.entries[kMe] = {{"cn", {"UNIX Workstation - ws1"}}};
      tree.failAt = failing + 2;  // after the opening and the bind
      tree.failCode = code;
      testing::internal::CaptureStdout();
      for (int result : {code, 0}) {
        RecordingHost host = joinedHost();
        RecordingConnector connector;
        connector.target = &tree;
        EXPECT_EQ(deconfigure(host, connector), result);
        EXPECT_EQ(host.calls.empty(), result != 0);
      }
      testing::internal::GetCapturedStdout();
      EXPECT_EQ(tree.requests[failing + 2] + "\n", sent[failing]);
      EXPECT_EQ(tree.entries, untouched);
    }
  }
}

}  // namespace
