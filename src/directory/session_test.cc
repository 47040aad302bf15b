#include "directory/session.h"

#include <gtest/gtest.h>

#include "base/host_test_support.h"
#include "directory/connector_test_support.h"

namespace {

using namespace std::string_literals;
using H = RecordingHost;
using C = RecordingConnector;
using Conn = Connection;

const std::string kTrust = "/certs/.ldap1.der", kStored = "open ssl ldap1:1636 " + kTrust + "\n";
const std::string kClear = "open clear ldap1:389\n", kBind = "bind cn=admin,o=corp\n";
const std::string kWaiting =
    "Waiting for LDAP server to start on secure port. This may take a few minutes...";
const std::string kCleartext =
    "\nThe LDAP server currently does not allow cleartext passwords.\nPlease enable \"Allow "
    "cleartext password\" for the LDAP Group object or use SSL connection and retry the "
    "operation.\n";
const Transport kPlain{}, kSsl{true, {}}, kTrusting{true, kTrust};

template <int code, int times = -1, bool refused = false>
void answerBind(H&, C& c, Conn&) {
  c.directory.reply("bind", code, {}, times);
  c.directory.refusedCertificate = refused;
}
// Leaves `field` to be asked for; "typed" is typed, `environment` in PELK_PWD.
template <std::optional<std::string> Conn::*field, const char* environment = nullptr>
void ask(H& h, C&, Conn& x) {
  (x.*field).reset();
  h.typedWords = h.typedPasswords = {"typed"};
  if (environment != nullptr)
    h.environment["PELK_PWD"] = environment;
}
constexpr char kEmpty[] = "", kEnvPw[] = "envpw";
// The first bind fails in an SSL negotiation with a server that answers.
void negotiationFails(H&, C& c, Conn&) {
  c.directory.reply("bind", 81, {}, 1);
  c.directory.negotiationFailureText = "bad \x1b[1m\0\x7f\xc3\xa9 record"s;
}

TEST(ConnectDirectory, TransportPromptsBindAndWait) {
  struct Row {
    const char* name;
    Transport transport;
    void (*setup)(H&, C&, Conn&);
    int result;
    std::string requests, output, log = "";  // besides the line of a clear connection
    int pauses = 0;
    std::optional<std::string> password = "pw";
  };
  const std::string unusable = "The stored certificate " + kTrust +
                               " of the LDAP server \"ldap1\" cannot be used: set-up failed. Run "
                               "kivconfig -k to fetch it again.\n";
  const std::string noSsl =
      "SSL cannot be set up for the LDAP server \"ldap1\" on port 1636: set-up failed\n";
  const std::string mismatch =
      "The certificate of the LDAP server \"ldap1\" does not match the stored certificate " +
      kTrust + "\n";
  const std::string tlsFailed =
      "The SSL negotiation with the LDAP server \"ldap1\" on port 1636 "
      "failed: bad \\x1B[1m\\x00\\x7F\xc3\xa9 record\n";
  const std::string noEmpty = "An empty password is not accepted: give the admin's password\n";
  const Row rows[] = {
      {"failed SSL set-up ends before any bind", kSsl, [](H&, C& c, Conn&) { c.sslResult = -1; },
       -5999, "open ssl ldap1:1636\n", noSsl, noSsl + "\n"},
      {"failed SSL set-up with the stored certificate", kTrusting,
       [](H&, C& c, Conn&) { c.sslResult = -1; }, -5999, kStored, unusable, unusable + "\n"},
      {"no clear connection", kPlain, [](H&, C& c, Conn&) { c.clearResult = -1; }, -6009, kClear,
       "Unable to contact the directory server\n"},
      {"server typed", kPlain, ask<&Conn::server>, 0, "open clear typed:389\n" + kBind,
       "Enter LDAP server:\n"},
      {"admin prompt at end of input", kPlain, [](H&, C&, Conn& x) { x.adminFdn.reset(); }, -5999,
       kClear, "Admin Name:Invalid entry\n"},
      {"password from PELK_PWD", kPlain, ask<&Conn::password, kEnvPw>, 0, kClear + kBind, "\n", "",
       0, "envpw"},
      {"empty PELK_PWD prompts", kPlain, ask<&Conn::password, kEmpty>, 0, kClear + kBind, "\n", "",
       0, "typed"},
      {"empty password given", kPlain, [](H&, C&, Conn& x) { x.password = ""; }, -5999, kClear,
       noEmpty, "", 0, ""},
      {"empty password typed", kPlain,
       [](H& h, C&, Conn& x) { x.password.reset(), h.typedPasswords = {""}; }, -5999, kClear,
       noEmpty, "", 0, std::nullopt},
      {"no password can be read", kPlain, [](H&, C&, Conn& x) { x.password.reset(); }, -5999,
       kClear, "Unable to read the password\n", "", 0, std::nullopt},
      {"strong authentication required", kPlain, answerBind<8>, -5999, kClear + kBind, kCleartext},
      {"confidentiality required", kPlain, answerBind<13>, -5999, kClear + kBind, kCleartext},
      {"invalid DN syntax", kPlain, answerBind<34>, -5999, kClear + kBind,
       "\nInvalid LDAP DN syntax \"cn=admin,o=corp\"\n"},
      {"server down for good", kSsl, answerBind<81>, -5999,
       "open ssl ldap1:1636\n" + joined(std::vector<std::string>(60, "bind cn=admin,o=corp")),
       kWaiting + std::string(59, '.') + "\nCan't contact LDAP server \"ldap1\" on port 1636\n", "",
       60},
      {"stored certificate refused", kTrusting, answerBind<81, -1, true>, -5999, kStored + kBind,
       mismatch, mismatch + "\n"},
      {"a failed SSL negotiation ends at once", kSsl, negotiationFails, -5999,
       "open ssl ldap1:1636\n" + kBind, tlsFailed, tlsFailed + "\n"},
      {"a negotiation failure means nothing in clear text", kPlain, negotiationFails, 0,
       kClear + kBind + kBind, kWaiting + "\n", "", 1},
      {"a refusal means nothing in clear text", kPlain, answerBind<81, 1, true>, 0,
       kClear + kBind + kBind, kWaiting + "\n", "", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RecordingHost host;
    RecordingConnector connector;
    Connection connection{"ldap1", 389, 1636, "cn=admin,o=corp", {}, "pw"};
    row.setup(host, connector, connection);
    std::unique_ptr<DirectoryRequests> session;
    SessionOutcome outcome;
    testing::internal::CaptureStdout();
    EXPECT_EQ(connectDirectory(host, connector, row.transport, connection, session, outcome),
              row.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.output);
    std::string requests = joined(connector.directory.requests);
    EXPECT_EQ(requests, row.requests);
    bool clear = requests.find("open clear") != std::string::npos;
    EXPECT_EQ(joined(host.logLines),
              (clear ? "Configuring to non SSL connection\n" : "") + row.log);
    EXPECT_EQ(host.calls, std::vector<std::string>(row.pauses, "pause 5"));
    EXPECT_EQ(session != nullptr, row.result == 0);
    EXPECT_EQ(connection.password, row.password);
  }
}

}  // namespace
