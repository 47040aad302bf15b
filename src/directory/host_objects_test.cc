#include "directory/host_objects.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "base/directory_test_support.h"
#include "base/host_test_support.h"
#include "directory/dn_text.h"

namespace {

// A server may list an attribute once without values and again with them.
DirectoryEntry config(std::string attribute, Lines values) {
  return {"cn=UNIX Config,o=corp",
          {{"cn", {"UNIX Config"}}, {attribute, {}}, {attribute, std::move(values)}}};
}

TEST(HostObjects, FindConfigObject) {
  constexpr SchemaFlavour rfc = SchemaFlavour::kRfc2307, corvex = SchemaFlavour::kCorvex;
  const std::string contexts = "qupPosixWorkstationContexts";
  // The flavour, the search's answer, the attribute the Config object found holds its
  // contexts in (none: no object), the result, and the attribute handed out.
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

// A failed search of a context ends the search, and a host name that cannot
// be read ends it before any request; the stored order of the contexts and
// a host found in none are rows of upgrade's test.
TEST(HostObjects, FindWorkstationContextStopsAtAFailure) {
  RecordingDirectory directory, untouched;
  RecordingHost host;
  directory.reply("search o=corp", 0, {config("qupPosixWorkstationContexts", {"ou=a", "ou=b"})});
  directory.reply("search ou=a ", 32);
  std::string context = "unchanged";
  EXPECT_EQ(findWorkstationContext(directory, host, "o=corp", context), 32);
  EXPECT_EQ(context, "unchanged");
  EXPECT_EQ(directory.requests.back(),
            "search ou=a one " + workstationFilter("qupPosixWorkstation", "ws1"));
  EXPECT_EQ(directory.requests.size(), 2u);
  host.hostNameError = EIO;
  testing::internal::CaptureStderr();
  EXPECT_EQ(findWorkstationContext(untouched, host, "o=corp", context), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Could not get the hostname: gethostname() failed: Input/output error\n");
  EXPECT_EQ(untouched.requests, Lines{});
}

}  // namespace
