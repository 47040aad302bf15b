#include "directory/contexts.h"

#include <gtest/gtest.h>

#include <tuple>

#include "base/directory_test_support.h"
#include "base/host_test_support.h"

namespace {

using Lines = std::vector<std::string>;

const Lines kDefinitions = {
    "( 2.5.6.14 NAME 'device' STRUCTURAL X-VRD_NOT_CONTAINER '1' )",
    "( 2.5.6.4 NAME 'organization' SUP top STRUCTURAL X-VRD_CONTAINMENT 'treeRoot' )",
    "( 2.5.6.5 NAME 'organizationalUnit' STRUCTURAL X-VRD_CONTAINMENT 'organization' )",
    "( 9.1 NAME ( 'crate' 'Box' ) DESC 'a NAME x' STRUCTURAL )"};

TEST(PickClassDefinition, TheDefinitionThatNamesTheClass) {
  const std::pair<std::string, int> cases[] = {
      {"organization", 1}, {"ORGANIZATIONALUNIT", 2}, {"box", 3},
      {"crate", 3},        {"organizational", -1},    {"x", -1},
      {"top", -1}};
  for (const auto& [name, index] : cases) {
    const std::string* picked = pickClassDefinition(kDefinitions, name);
    EXPECT_EQ(picked, index < 0 ? nullptr : &kDefinitions[index]) << name;
  }
}

// createContext(dn): its result, output, log and requests. The searches of
// the levels named in `missing` answer 32; "ou=Sales" appears meanwhile (68
// on its add). The Config and Workstation steps are run end to end by add's
// test.
TEST(CreateContext, RequestsAndOutcome) {
  const std::string multiValued =
      "The container \"ou=a+l=b,o=corp\" cannot be created: its RDN "
      "\"ou=a+l=b\" holds more than one value\n";
  const std::tuple<std::string, Lines, int, std::string, Lines> cases[] = {
      {"o=corp",
       {},
       0,
       "",
       {"search o=corp base objectclass=* objectClass",
        "search cn=schema base objectClasses=organization"}},
      // A level added meanwhile by another host counts as created.
      {"ou=Unix,ou=Sales\\, EMEA,o=corp",
       {"ou=Unix", "ou=Sales"},
       0,
       "Creating the context...done.\n",
       {"search ou=Unix,ou=Sales\\, EMEA,o=corp base objectclass=* objectClass",
        "search o=corp base ", "search ou=Sales\\, EMEA,o=corp base ",
        "add ou=Sales\\, EMEA,o=corp objectClass=[organizationalUnit] ou=[Sales, EMEA]",
        "search ou=Unix,ou=Sales\\, EMEA,o=corp base ",
        "add ou=Unix,ou=Sales\\, EMEA,o=corp objectClass=[organizationalUnit] ou=[Unix]"}},
      {"ou=a+l=b,o=corp",
       {"ou=a"},
       -6021,
       "Creating the context..." + multiValued,
       {"search ou=a+l=b,o=corp base objectclass=* objectClass", "search o=corp base ",
        "search ou=a+l=b,o=corp base "}}};
  for (const auto& [dn, missing, result, printed, requests] : cases) {
    SCOPED_TRACE(dn);
    RecordingDirectory directory;
    RecordingHost host;
    for (const std::string& level : missing)
      directory.reply("search " + level, 32);
    directory.reply("add ou=Sales", 68);
    directory.reply("search o=corp base objectclass", 0,
                    {{"o=corp", {{"objectClass", {"organization"}}}}});
    directory.reply("search cn=schema", 0, {{"cn=schema", {{"objectClasses", kDefinitions}}}});
    testing::internal::CaptureStdout();
    EXPECT_EQ(createContext(directory, host, dn), result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
    EXPECT_EQ(host.logLines, result == 0 ? Lines{} : Lines{multiValued});
    EXPECT_EQ(directory.requests, requests);
  }
}

}  // namespace
