#include "directory/host_objects.h"

#include <gtest/gtest.h>

#include "base/directory_test_support.h"
#include "directory/dn_text.h"

namespace {

using Lines = std::vector<std::string>;

DirectoryEntry config(std::string attribute, Lines values) {
  return {"cn=UNIX Config,o=corp", {{"cn", {"UNIX Config"}}, {attribute, std::move(values)}}};
}

TEST(HostObjects, FindConfigObject) {
  runSettings = RunSettings{};
  runSettings.partitionRoot = "o=corp";
  struct Case {
    SchemaFlavour flavour;
    int searchCode;
    std::vector<DirectoryEntry> entries;
    int result;
    Lines contexts;
  };
  const Case cases[] = {
      {SchemaFlavour::kRfc2307,
       0,
       {config("qupPosixWorkstationContexts", {"ou=b", "ou=a"})},
       0,
       {"ou=b", "ou=a"}},
      {SchemaFlavour::kCorvex, 0, {config("WorkstationContexts", {"ou=c"})}, 0, {"ou=c"}},
      {SchemaFlavour::kRfc2307, 0, {config("WorkstationContexts", {"ou=c"})}, -6015, {}},
      {SchemaFlavour::kRfc2307, 0, {}, -6004, {}},
      {SchemaFlavour::kCorvex, 0, {}, -6027, {}},
      {SchemaFlavour::kRfc2307, 32, {}, -6004, {}},
  };
  for (const Case& c : cases) {
    runSettings.schemaFlavour = c.flavour;
    RecordingDirectory directory;
    directory.reply("search", c.searchCode, c.entries);
    Lines contexts;
    std::string configDn;
    EXPECT_EQ(findConfigObject(directory, contexts, configDn), c.result);
    EXPECT_EQ(contexts, c.contexts);
    EXPECT_EQ(configDn, c.entries.empty() ? "" : "cn=UNIX Config,o=corp");
    std::string configClass =
        c.flavour == SchemaFlavour::kCorvex ? "Unix:Config" : "qupPosixConfig";
    EXPECT_EQ(directory.requests,
              Lines{"search o=corp one (&(objectclass=" + configClass + ")(cn=UNIX Config))"});
  }
}

TEST(HostObjects, FindWorkstationContextTriesContextsInStoredOrder) {
  runSettings = RunSettings{};
  runSettings.partitionRoot = "o=corp";
  std::string host;
  ASSERT_EQ(readShortHostName(host), 0);
  struct Case {
    std::string failingContext;  // its search answers 32
    std::string holdingContext;  // its search finds the object
    int result;
    Lines searched;
  };
  const Case cases[] = {
      {"", "ou=b", 0, {"ou=a", "ou=b"}},
      {"ou=a", "ou=b", 32, {"ou=a"}},
      {"", "", -6029, {"ou=a", "ou=b", "ou=c"}},
  };
  std::string filter = workstationFilter("qupPosixWorkstation", host);
  for (const Case& c : cases) {
    runSettings.workstationContext = "ou=given";
    RecordingDirectory directory;
    directory.reply("search o=corp", 0,
                    {config("qupPosixWorkstationContexts", {"ou=a", "ou=b", "ou=c"})});
    if (!c.failingContext.empty())
      directory.reply("search " + c.failingContext + " ", 32);
    if (!c.holdingContext.empty())
      directory.reply("search " + c.holdingContext + " ", 0, {{"cn=x," + c.holdingContext, {}}});
    EXPECT_EQ(findWorkstationContext(directory), c.result);
    EXPECT_EQ(runSettings.workstationContext, c.result == 0 ? c.holdingContext : "ou=given");
    Lines expected = {directory.requests.front()};
    for (const std::string& context : c.searched)
      expected.push_back("search " + context + " one " + filter);
    EXPECT_EQ(directory.requests, expected);
  }
}

}  // namespace
