#include "directory/contexts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/directory_test_support.h"
#include "base/log.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kOrganization =
    "( 2.5.6.4 NAME 'organization' SUP top STRUCTURAL X-VRD_CONTAINMENT 'treeRoot' )";
const std::string kUnit =
    "( 2.5.6.5 NAME 'organizationalUnit' STRUCTURAL X-VRD_CONTAINMENT 'organization' )";
const std::string kDevice = "( 2.5.6.14 NAME 'device' STRUCTURAL X-VRD_NOT_CONTAINER '1' )";
const std::string kBox = "( 9.1 NAME ( 'crate' 'Box' ) DESC 'a NAME x' STRUCTURAL )";
const Lines kEveryDefinition = {kDevice, kOrganization, kUnit, kBox};

TEST(PickClassDefinition, TheDefinitionThatNamesTheClass) {
  const std::pair<std::string, int> cases[] = {
      {"organization", 1}, {"ORGANIZATIONALUNIT", 2}, {"box", 3},
      {"crate", 3},        {"organizational", -1},    {"x", -1},
      {"top", -1},
  };
  for (const auto& [name, index] : cases) {
    const std::string* picked = pickClassDefinition(kEveryDefinition, name);
    EXPECT_EQ(picked, index < 0 ? nullptr : &kEveryDefinition[index]) << name;
  }
}

struct Rule {
  std::string prefix;
  int code;
  std::vector<DirectoryEntry> entries = {};
};

// createContext(dn): its result, output and requests. The Config and
// Workstation steps are run end to end by add's test.
struct Case {
  std::string dn;
  std::vector<Rule> rules;
  int result;
  std::string out;
  Lines requests;
};

const Case kCases[] = {
    {"o=corp",
     {{"search o=corp base objectclass=*", 0, {{"o=corp", {{"objectClass", {"organization"}}}}}},
      {"search cn=schema base objectClasses=organization",
       0,
       {{"cn=schema", {{"objectClasses", kEveryDefinition}}}}}},
     0,
     "",
     {"search o=corp base objectclass=* objectClass",
      "search cn=schema base objectClasses=organization"}},
    // A level added meanwhile by another host (68) counts as created.
    {"ou=Unix,ou=Sales\\, EMEA,o=corp",
     {{"search ou=Unix", 32}, {"search ou=Sales", 32}, {"add ou=Sales", 68}},
     0,
     "Creating the context...done.\n",
     {"search ou=Unix,ou=Sales\\, EMEA,o=corp base objectclass=* objectClass",
      "search o=corp base ", "search ou=Sales\\, EMEA,o=corp base ",
      "add ou=Sales\\, EMEA,o=corp objectClass=[organizationalUnit] ou=[Sales, EMEA]",
      "search ou=Unix,ou=Sales\\, EMEA,o=corp base ",
      "add ou=Unix,ou=Sales\\, EMEA,o=corp objectClass=[organizationalUnit] ou=[Unix]"}},
    {"ou=a+l=b,o=corp",
     {{"search ou=a", 32}},
     -6021,
     "Creating the context...The container \"ou=a+l=b,o=corp\" cannot be created: its RDN "
     "\"ou=a+l=b\" holds more than one value\n",
     {"search ou=a+l=b,o=corp base objectclass=* objectClass", "search o=corp base ",
      "search ou=a+l=b,o=corp base "}},
};

TEST(CreateContext, RequestsAndOutcome) {
  std::string logFile = ::testing::TempDir() + "contexts_test.log";
  setLogFileForTesting(logFile.c_str());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.dn);
    RecordingDirectory directory;
    for (const Rule& rule : c.rules)
      directory.reply(rule.prefix, rule.code, rule.entries);
    testing::internal::CaptureStdout();
    EXPECT_EQ(createContext(directory, c.dn), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(directory.requests, c.requests);
  }
  unlink(logFile.c_str());
}

}  // namespace
