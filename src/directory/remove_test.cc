#include "directory/remove.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/directory_test_support.h"
#include "base/ldap_error.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "directory/dn_text.h"

namespace {

struct Rule {
  std::string prefix;
  int code;
  std::vector<DirectoryEntry> entries;
};

struct Case {
  const char* name;
  SchemaFlavour flavour;
  std::vector<Rule> rules;
  int result;
  // After the Config object's search; $own and $any stand for the filters.
  std::vector<std::string> requests;
  std::string output;
};

const std::string kWs = "ou=ws,o=corp";
const std::string kWs2 = "ou=ws2,o=corp";
const std::string kConfigDn = "cn=UNIX Config,o=corp";

DirectoryEntry config(const char* attribute, std::vector<std::string> contexts) {
  return {kConfigDn, {{attribute, std::move(contexts)}}};
}
DirectoryEntry object(const std::string& dn) {
  return {dn, {}};
}
Rule configRule(std::vector<std::string> contexts) {
  return {"search o=corp ", 0, {config("qupPosixWorkstationContexts", std::move(contexts))}};
}

const char* const kWsDeleted = "Deleting the Unix Workstation object...done.\n";
const char* const kConfigDeleted = "Deleting the Config object...done.\n";

std::vector<Case> cases() {
  const std::string own = "cn=UNIX Workstation - me," + kWs;
  const std::string other = "cn=UNIX Workstation - other," + kWs;
  const std::string withdrawWs =
      "modify " + kConfigDn + " -qupPosixWorkstationContexts=[" + kWs + "]";
  return {
      {"last host of one context",
       SchemaFlavour::kRfc2307,
       {configRule({kWs}), {"search " + kWs + " one $own", 0, {object(own)}}},
       0,
       {"search " + kWs + " one $own", "delete " + own, "search " + kWs + " one $any", withdrawWs,
        "search " + kWs + " one $any", "delete " + kConfigDn},
       std::string(kWsDeleted) + kConfigDeleted},
      {"another host stays",
       SchemaFlavour::kRfc2307,
       {configRule({kWs}),
        {"search " + kWs + " one $own", 0, {object(own)}},
        {"search " + kWs + " one $any", 0, {object(other)}}},
       0,
       {"search " + kWs + " one $own", "delete " + own, "search " + kWs + " one $any",
        "search " + kWs + " one $any"},
       kWsDeleted},
      {"host in the second of two contexts",
       SchemaFlavour::kRfc2307,
       {configRule({kWs2, kWs}), {"search " + kWs + " one $own", 0, {object(own)}}},
       0,
       {"search " + kWs2 + " one $own", "search " + kWs + " one $own", "delete " + own,
        "search " + kWs + " one $any", withdrawWs},
       kWsDeleted},
      {"host not found, one empty context",
       SchemaFlavour::kRfc2307,
       {configRule({kWs})},
       0,
       {"search " + kWs + " one $own", "search " + kWs + " one $any", "delete " + kConfigDn},
       kConfigDeleted},
      {"host not found, two contexts",
       SchemaFlavour::kRfc2307,
       {configRule({kWs2, kWs})},
       0,
       {"search " + kWs2 + " one $own", "search " + kWs + " one $own"},
       ""},
      {"a missing context ends the search",
       SchemaFlavour::kRfc2307,
       {configRule({kWs2, kWs}),
        {"search " + kWs2, 32, {}},
        {"search " + kWs + " one $own", 0, {object(own)}}},
       32,
       {"search " + kWs2 + " one $own"},
       ""},
      {"corvex names and the WorkstationContexts values",
       SchemaFlavour::kCorvex,
       {{"search o=corp ", 0, {config("WorkstationContexts", {kWs})}},
        {"search " + kWs + " one $own", 0, {object(own)}}},
       0,
       {"search " + kWs + " one $own", "delete " + own, "search " + kWs + " one $any",
        "modify " + kConfigDn + " -UNIX:Workstation Contexts=[" + kWs + "]",
        "search " + kWs + " one $any", "delete " + kConfigDn},
       std::string(kWsDeleted) + kConfigDeleted},
      {"the Config object is not found",
       SchemaFlavour::kRfc2307,
       {{"search o=corp ", 0, {}}},
       kNotConfigured,
       {},
       ""},
      {"the Workstation object cannot be deleted",
       SchemaFlavour::kRfc2307,
       {configRule({kWs}), {"search " + kWs + " one $own", 0, {object(own)}}, {"delete", 50, {}}},
       50,
       {"search " + kWs + " one $own", "delete " + own},
       std::string("Deleting the Unix Workstation object...") + ldapErrorText(50) + "\n"},
      {"a failed search after the delete withdraws nothing",
       SchemaFlavour::kRfc2307,
       {configRule({kWs}),
        {"search " + kWs + " one $own", 0, {object(own)}},
        {"search " + kWs + " one $any", 51, {}}},
       51,
       {"search " + kWs + " one $own", "delete " + own, "search " + kWs + " one $any"},
       kWsDeleted},
      {"the context cannot be withdrawn",
       SchemaFlavour::kRfc2307,
       {configRule({kWs}), {"search " + kWs + " one $own", 0, {object(own)}}, {"modify", 16, {}}},
       16,
       {"search " + kWs + " one $own", "delete " + own, "search " + kWs + " one $any", withdrawWs},
       kWsDeleted},
      {"the Config object cannot be deleted",
       SchemaFlavour::kRfc2307,
       {configRule({kWs}), {"delete", 66, {}}},
       66,
       {"search " + kWs + " one $own", "search " + kWs + " one $any", "delete " + kConfigDn},
       std::string("Deleting the Config object...") + ldapErrorText(66) + "\n"},
  };
}

std::string expand(std::string text, const std::string& own, const std::string& any) {
  for (const auto& [mark, filter] : {std::pair{"$own", own}, std::pair{"$any", any}}) {
    size_t at = text.find(mark);
    if (at != std::string::npos)
      text.replace(at, 4, filter);
  }
  return text;
}

TEST(RemoveHostObjects, RequestSequences) {
  std::string host;
  ASSERT_EQ(readShortHostName(host), 0);
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    runSettings = RunSettings{};
    runSettings.partitionRoot = "o=corp";
    runSettings.schemaFlavour = c.flavour;
    const char* workstationClass =
        c.flavour == SchemaFlavour::kCorvex ? "UNIX:Workstation" : "qupPosixWorkstation";
    std::string own = workstationFilter(workstationClass, host);
    std::string any =
        std::string("(&(objectclass=") + workstationClass + ")(cn=UNIX Workstation - *))";
    RecordingDirectory directory;
    for (const Rule& rule : c.rules)
      directory.reply(expand(rule.prefix, own, any), rule.code, rule.entries);
    testing::internal::CaptureStdout();
    int result = removeHostObjects(directory);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(output, c.output);
    ASSERT_FALSE(directory.requests.empty());
    std::vector<std::string> sent(directory.requests.begin() + 1, directory.requests.end());
    std::vector<std::string> expected;
    for (const std::string& line : c.requests)
      expected.push_back(expand(line, own, any));
    EXPECT_EQ(sent, expected);
  }
}

}  // namespace
