#include <gtest/gtest.h>

#include "base/host_test_support.h"
#include "base/run_settings.h"
#include "commands/commands.h"
#include "directory/connector_test_support.h"

namespace {

// No certificate is captured in unit tests: a bind that succeeds stores none.
TEST(FetchServerCertificate, StoredSettingsOverSslOnly) {
  const std::string none =
      "No certificate was received from the LDAP server; the certificate file was not updated.\n";
  const Lines stored = {"open ssl ldap1:1636", "bind cn=a,o=corp"}, sslOnly = {stored[0]};
  const Lines withL = {"open ssl ldap1:2636", stored[1]}, nothing;
  using Setup = void (*)(RecordingHost&, RecordingConnector&);
  const std::tuple<const char*, Setup, int, Lines, std::string> rows[] = {
      {"no preferred-server", [](auto& h, auto&) { h.store().erase("preferred-server"); }, -6004,
       nothing, ""},
      {"no SSL port", [](auto& h, auto&) { h.store().erase("ldap-ssl-port"); }, -6024, nothing, ""},
      {"stored settings", [](auto&, auto&) {}, -5999, stored, "\n" + none},
      {"-l", [](auto&, auto&) { runSettings.sslFlag = 1; }, -5999, withL, "\n" + none},
      {"no clear bind", [](auto&, auto& c) { c.sslResult = -1; }, -5999, sslOnly,
       "SSL cannot be set up for the LDAP server \"ldap1\" on port 1636: set-up failed\n"},
  };
  for (const auto& [name, setup, result, requests, output] : rows) {
    SCOPED_TRACE(name);
    runSettings = RunSettings{};
    runSettings.sslPort = 2636;  // as -l would give it
    RecordingHost host;
    host.store() = {
        {"preferred-server", "ldap1"}, {"admin-fdn", "cn=a,o=corp"}, {"ldap-ssl-port", "1636"}};
    host.environment["PELK_PWD"] = "secret";
    RecordingConnector connector;
    setup(host, connector);
    std::string details;
    testing::internal::CaptureStdout();
    EXPECT_EQ(fetchServerCertificate(host, connector, details), result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), output);
    EXPECT_EQ(connector.directory.requests, requests);
    // The log holds the message without the bind's line end.
    EXPECT_EQ(host.logLines, Lines(output.empty() ? 0 : 1, output.substr(output[0] == '\n')));
    EXPECT_EQ(details, "");
  }
}

}  // namespace
