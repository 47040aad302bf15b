#include "directory/remove.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/directory_test_support.h"
#include "base/ldap_error.h"
#include "base/run_settings.h"
#include "directory/dn_text.h"

namespace {

const std::string kWs = "ou=ws,o=corp", kWs2 = "ou=ws2,o=corp", kMe = "cn=me," + kWs;
const std::string kConfig = "cn=UNIX Config,o=corp";
const std::string kWsDeleted = "Deleting the Unix Workstation object...done.\n";
const std::string kConfigDeleted = "Deleting the Config object...done.\n";

// Request lines after the Config object's search; "OWN" and "ANY" stand for
// the two filters until the runner fills them in.
std::string own(const std::string& context) {
  return "search " + context + " one OWN";
}
std::string any(const std::string& context) {
  return "search " + context + " one ANY";
}
std::string withdraw(const char* attribute, const std::string& context) {
  return "modify " + kConfig + " -" + attribute + "=[" + context + "]";
}

struct Case {
  const char* name;
  SchemaFlavour flavour;
  std::vector<std::string> contexts;
  // Answers: the request prefix and its code; a search answered 0 finds kMe.
  std::vector<std::pair<std::string, int>> answers;
  int result;
  std::vector<std::string> requests;
  std::string output;
};

const Case kCases[] = {
    {"last host of one context",
     SchemaFlavour::kRfc2307,
     {kWs},
     {{own(kWs), 0}},
     0,
     {own(kWs), "delete " + kMe, any(kWs), withdraw("qupPosixWorkstationContexts", kWs), any(kWs),
      "delete " + kConfig},
     kWsDeleted + kConfigDeleted},
    {"host in the second of two contexts",
     SchemaFlavour::kRfc2307,
     {kWs2, kWs},
     {{own(kWs), 0}},
     0,
     {own(kWs2), own(kWs), "delete " + kMe, any(kWs), withdraw("qupPosixWorkstationContexts", kWs)},
     kWsDeleted},
    {"host not found, another host left",
     SchemaFlavour::kRfc2307,
     {kWs},
     {{any(kWs), 0}},
     0,
     {own(kWs), any(kWs)},
     ""},
    {"host not found, the context empty",
     SchemaFlavour::kRfc2307,
     {kWs},
     {},
     0,
     {own(kWs), any(kWs), "delete " + kConfig},
     kConfigDeleted},
    {"a missing context ends the search",
     SchemaFlavour::kRfc2307,
     {kWs2, kWs},
     {{own(kWs2), 32}, {own(kWs), 0}},
     32,
     {own(kWs2)},
     ""},
    {"corvex names, WorkstationContexts values",
     SchemaFlavour::kCorvex,
     {kWs},
     {{own(kWs), 0}},
     0,
     {own(kWs), "delete " + kMe, any(kWs), withdraw("WorkstationContexts", kWs), any(kWs),
      "delete " + kConfig},
     kWsDeleted + kConfigDeleted},
    {"the Workstation object cannot be deleted",
     SchemaFlavour::kRfc2307,
     {kWs},
     {{own(kWs), 0}, {"delete", 50}},
     50,
     {own(kWs), "delete " + kMe},
     std::string("Deleting the Unix Workstation object...\n") + ldapErrorText(50) + "\n"},
    {"a failed search withdraws nothing",
     SchemaFlavour::kRfc2307,
     {kWs},
     {{own(kWs), 0}, {any(kWs), 51}},
     51,
     {own(kWs), "delete " + kMe, any(kWs)},
     kWsDeleted},
    {"the Config object cannot be deleted",
     SchemaFlavour::kRfc2307,
     {kWs},
     {{"delete", 66}},
     66,
     {own(kWs), any(kWs), "delete " + kConfig},
     std::string("Deleting the Config object...\n") + ldapErrorText(66) + "\n"},
};

std::string fill(std::string line, const std::string& ownFilter, const std::string& anyFilter) {
  if (line.ends_with(" OWN") || line.ends_with(" ANY"))
    line.replace(line.size() - 3, 3, line.ends_with("OWN") ? ownFilter : anyFilter);
  return line;
}

TEST(RemoveHostObjects, RequestSequences) {
  std::string host;
  ASSERT_EQ(readShortHostName(host), 0);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    runSettings = RunSettings{};
    runSettings.partitionRoot = "o=corp";
    runSettings.schemaFlavour = c.flavour;
    bool corvex = c.flavour == SchemaFlavour::kCorvex;
    const char* workstationClass = corvex ? "UNIX:Workstation" : "qupPosixWorkstation";
    std::string ownFilter = workstationFilter(workstationClass, host);
    std::string anyFilter =
        std::string("(&(objectclass=") + workstationClass + ")(cn=UNIX Workstation - *))";
    RecordingDirectory directory;
    const char* contextsAttribute = corvex ? "WorkstationContexts" : "qupPosixWorkstationContexts";
    directory.reply("search o=corp ", 0, {{kConfig, {{contextsAttribute, c.contexts}}}});
    for (const auto& [prefix, code] : c.answers) {
      std::vector<DirectoryEntry> found;
      if (prefix.starts_with("search") && code == 0)
        found.push_back({kMe, {}});
      directory.reply(fill(prefix, ownFilter, anyFilter), code, found);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(removeHostObjects(directory), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    std::vector<std::string> expected = {directory.requests.front()};
    for (const std::string& line : c.requests)
      expected.push_back(fill(line, ownFilter, anyFilter));
    EXPECT_EQ(directory.requests, expected);
  }
}

}  // namespace
