#include "directory/host_objects.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "base/directory_test_support.h"
#include "base/host_test_support.h"
#include "directory/dn_text.h"

namespace {

using Lines = std::vector<std::string>;

// A server may list an attribute once without values and again with them.
DirectoryEntry config(std::string attribute, Lines values) {
  return {"cn=UNIX Config,o=corp",
          {{"cn", {"UNIX Config"}}, {attribute, {}}, {attribute, std::move(values)}}};
}

TEST(HostObjects, FindConfigObject) {
  constexpr SchemaFlavour rfc = SchemaFlavour::kRfc2307, corvex = SchemaFlavour::kCorvex;
  const std::string contexts = "qupPosixWorkstationContexts";
  // The flavour, the search's answer, the attribute the Config object found
  // holds its contexts in (none: no object), the result, and the attribute
  // that is handed out.
  const std::tuple<SchemaFlavour, int, const char*, int, std::string> cases[] = {
      {rfc, 0, contexts.c_str(), 0, contexts},
      {corvex, 0, "UNIX:Workstation Contexts", 0, "UNIX:Workstation Contexts"},
      {corvex, 0, "WorkstationContexts", 0, "WorkstationContexts"},
      {rfc, 0, "WorkstationContexts", -6015, contexts},
      {rfc, 0, nullptr, -6004, ""},
      {corvex, 0, nullptr, -6027, ""},
      {rfc, 32, nullptr, -6004, ""},
      {rfc, 50, nullptr, 50, ""}};
  for (const auto& [flavour, code, stored, result, attribute] : cases) {
    SCOPED_TRACE(result);
    RecordingDirectory directory;
    std::vector<DirectoryEntry> entries;
    if (stored != nullptr)
      entries.push_back(config(stored, {"ou=b", "ou=a"}));
    directory.reply("search", code, entries);
    Lines found;
    std::string configDn, foundIn;
    EXPECT_EQ(findConfigObject(directory, flavour, "o=corp", found, configDn, &foundIn), result);
    EXPECT_EQ(found, result == 0 ? Lines({"ou=b", "ou=a"}) : Lines());
    EXPECT_EQ(foundIn, attribute);
    EXPECT_EQ(configDn, stored != nullptr ? "cn=UNIX Config,o=corp" : "");
    std::string configClass = flavour == corvex ? "Unix:Config" : "qupPosixConfig";
    EXPECT_EQ(directory.requests,
              Lines{"search o=corp one (&(objectclass=" + configClass + ")(cn=UNIX Config))"});
  }
}

TEST(HostObjects, FindWorkstationContextTriesContextsInStoredOrder) {
  // The context whose search answers 32, the one holding the object, the
  // result and the contexts searched.
  const std::tuple<std::string, std::string, int, Lines> cases[] = {
      {"", "ou=b", 0, {"ou=a", "ou=b"}},
      {"ou=a", "ou=b", 32, {"ou=a"}},
      {"", "", -6029, {"ou=a", "ou=b", "ou=c"}}};
  std::string filter = workstationFilter("qupPosixWorkstation", "ws1");
  for (const auto& [failing, holding, result, searched] : cases) {
    RecordingDirectory directory;
    RecordingHost host;
    directory.reply("search o=corp", 0,
                    {config("qupPosixWorkstationContexts", {"ou=a", "ou=b", "ou=c"})});
    directory.reply("search " + failing + " ", 32);
    directory.reply("search " + holding + " ", 0, {{"cn=x," + holding, {}}});
    std::string context = "unchanged";
    EXPECT_EQ(findWorkstationContext(directory, host, "o=corp", context), result);
    EXPECT_EQ(context, result == 0 ? holding : "unchanged");
    Lines expected = {directory.requests.front()};
    for (const std::string& listed : searched)
      expected.push_back("search " + listed + " one " + filter);
    EXPECT_EQ(directory.requests, expected);
  }
  RecordingDirectory untouched;
  RecordingHost nameless;
  nameless.hostNameError = EIO;
  std::string context;
  testing::internal::CaptureStderr();
  EXPECT_EQ(findWorkstationContext(untouched, nameless, "o=corp", context), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Could not get the hostname: gethostname() failed: Input/output error\n");
  EXPECT_EQ(untouched.requests, Lines{});
}

}  // namespace
