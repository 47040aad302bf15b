#include "directory/contexts.h"

#include <gtest/gtest.h>

#include "base/directory_test_support.h"
#include "base/host_test_support.h"

namespace {

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

// The object steps take workstation DNs of up to 255 bytes: 255 passes.
TEST(FormWorkstationDn, HoldsAtMost255Bytes) {
  RecordingHost host;
  host.name = "ws1.example.org";
  std::string dn;
  const std::string context = "ou=" + std::string(226, 'a');  // 255 bytes with the prefix
  ASSERT_EQ(formWorkstationDn(host, context, dn), 0);
  EXPECT_EQ(dn.size(), 255u);
}

// createContext(dn): its result, output, log and requests. The searches of the levels
// named in `missing` answer 32; "ou=Sales" appears meanwhile (68 on its add). A context
// that exists, and the Config and Workstation steps, are rows of add's test.
TEST(CreateContext, RequestsAndOutcome) {
  const std::string multiValued =
      "The container \"ou=a+l=b,o=corp\" cannot be created: its RDN "
      "\"ou=a+l=b\" holds more than one value\n";
  auto check = [&](const std::string& dn, const Lines& missing, int result,
                   const std::string& printed, const std::string& requests) {
    SCOPED_TRACE(dn);
    RecordingDirectory directory;
    RecordingHost host;
    for (const std::string& level : missing)
      directory.reply("search " + level, 32);
    directory.reply("add ou=Sales", 68);
    testing::internal::CaptureStdout();
    EXPECT_EQ(createContext(directory, host, dn), result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
    EXPECT_EQ(host.logLines, result == 0 ? Lines{} : Lines{multiValued});
    EXPECT_EQ(joined(directory.requests), requests);
  };
  // A level added meanwhile by another host counts as created.
  check("ou=Unix,ou=Sales\\, EMEA,o=corp", {"ou=Unix", "ou=Sales"}, 0,
        "Creating the context...done.\n",
        "search ou=Unix,ou=Sales\\, EMEA,o=corp base objectclass=* objectClass\n"
        "search o=corp base \nsearch ou=Sales\\, EMEA,o=corp base \nadd ou=Sales\\, EMEA,o=corp "
        "objectClass=[organizationalUnit] ou=[Sales, EMEA]\nsearch ou=Unix,ou=Sales\\, EMEA,o=corp "
        "base \nadd ou=Unix,ou=Sales\\, EMEA,o=corp objectClass=[organizationalUnit] ou=[Unix]\n");
  check("ou=a+l=b,o=corp", {"ou=a"}, -6021, "Creating the context..." + multiValued,
        "search ou=a+l=b,o=corp base objectclass=* objectClass\nsearch o=corp base \n"
        "search ou=a+l=b,o=corp base \n");
}

}  // namespace
