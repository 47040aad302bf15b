#include "directory/contexts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "base/directory_test_support.h"
#include "base/log.h"
#include "base/run_settings.h"
#include "directory/dn_text.h"
#include "kiv.h"

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
  int times = -1;
};

Rule schema(const std::string& className, Lines definitions) {
  return {"search cn=schema base objectClasses=" + className,
          0,
          {{"cn=schema", {{"objectClasses", std::move(definitions)}}}}};
}

Rule classesOf(const std::string& dn, const std::string& objectClass) {
  return {"search " + dn + " base objectclass=*", 0, {{dn, {{"objectClass", {objectClass}}}}}};
}

// A row runs createContext(dn), or configureObjects when dn is empty.
struct Case {
  std::string dn;
  std::vector<Rule> rules;
  int result;
  std::string out;
  Lines requests;  // "WS" stands for the host's workstation DN
  std::string partitionRoot = "o=corp", workstationContext = "ou=ws,o=corp";
  int overwrite = 0;
  std::string store = "base-name=O=CORP\n";
};

const std::string kRights =
    " +ACL=[1#entry#[Public]#[Entry Rights]][3#subtree#[Public]#uidNumber]"
    "[3#subtree#[Public]#gidNumber][3#subtree#[Public]#homeDirectory]"
    "[3#subtree#[Public]#loginShell][3#subtree#[Public]#gecos][3#subtree#[Public]#memberUid]"
    "[3#subtree#[Public]#description][3#subtree#[Public]#qupPosixWorkstationList]"
    "[3#subtree#[Public]#qupPosixWorkstationContexts][3#subtree#[Public]#qupPosixSalt]";
const std::string kConfigValues =
    " objectClass=[qupPosixConfig] cn=[UNIX Config] "
    "ACL=[2#entry#[Public]#qupPosixWorkstationContexts][2#entry#[Public]#cn]";
const std::string kAddWorkstation =
    "add WS objectClass=[qupPosixWorkstation] "
    "ACL=[2#entry#[Public]#groupMembership][2#entry#[Public]#cn]";
const std::string kTrustee =
    " +ACL=[3#subtree#WS#passwordExpirationTime][3#subtree#WS#loginDisabled]"
    "[3#subtree#WS#LoginExpirationTime]";
const std::string kAddProxy =
    "add cn=proxy,o=corp cn=[proxy] sn=[proxy] uniqueID=[proxy] userPassword=[pw] "
    "objectClass=[inetOrgPerson][top]";
const std::string kRegister =
    "modify cn=UNIX Config,o=corp +qupPosixWorkstationContexts=[ou=ws,o=corp]";
const std::string kObjectsDone =
    "Creating the Unix Config object...done.\nCreating the Unix Workstation object...done.\n"
    "Adding the workstation context...done.\n";
const Lines kChecks = {"search o=corp base objectclass=* objectClass",
                       "search cn=schema base objectClasses=organization",
                       "search ou=ws,o=corp base objectclass=* objectClass",
                       "search cn=schema base objectClasses=organizationalUnit"};
// "organization" also answers the search for "organizationalUnit".
const std::vector<Rule> kContainers = {classesOf("o=corp", "organization"),
                                       classesOf("ou=ws,o=corp", "organizationalUnit"),
                                       schema("organization", kEveryDefinition)};

Lines join(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

std::vector<Rule> join(std::vector<Rule> rules, const std::vector<Rule>& more) {
  rules.insert(rules.end(), more.begin(), more.end());
  return rules;
}

const Case kCases[] = {
    {"o=corp", kContainers, 0, "", {kChecks[0], kChecks[1]}},
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
    {"cn=x,dc=new,o=corp",
     {{"search cn=x", 32}, {"search dc=new", 32}},
     -6021,
     "Creating the context...",
     {"search cn=x,dc=new,o=corp base objectclass=* objectClass", "search o=corp base ",
      "search dc=new,o=corp base ", "add dc=new,o=corp objectClass=[domain] dc=[new]",
      "search cn=x,dc=new,o=corp base "}},
    // A fresh join, with a proxy user.
    {"", kContainers, 0, kObjectsDone,
     join(kChecks, {"add cn=UNIX Config,o=corp" + kConfigValues, "modify o=corp" + kRights,
                    kAddWorkstation, "modify o=corp" + kTrustee, kRegister, kAddProxy})},
    // A re-run with -o and a new proxy password.
    {"",
     join({{"add WS", 68, {}, 1},
           {"add cn=UNIX Config", 68},
           {"add cn=proxy", 68},
           {"modify o=corp", 20},
           {"modify cn=UNIX Config", 20}},
          kContainers),
     0,
     "Creating the Unix Config object... already exists\nCreating the Unix Workstation object... "
     "already exists\nDeleting the Unix Workstation object...done.\nCreating the Unix "
     "Workstation object...done.\nAdding the workstation context...done.\n",
     join(kChecks, {"add cn=UNIX Config,o=corp" + kConfigValues, "modify o=corp" + kRights,
                    kAddWorkstation, "delete WS", kAddWorkstation, "modify o=corp" + kTrustee,
                    kRegister, kAddProxy, "modify cn=proxy,o=corp =userPassword=[pw]"}),
     "o=corp", "ou=ws,o=corp", 1},
    {"",
     {},
     -6004,
     "Error: Specified partition root and Partition root in the KIV configuration file doesn't "
     "match.\n",
     {},
     "o=corp "},
    {"",
     {schema("qupPosix", {"( 1 NAME ( 'qupPosixConfig' 'qupPosixWorkstation' ) STRUCTURAL "
                          "X-VRD_CONTAINMENT ( 'o' 'treeRoot' ) )"})},
     0,
     kObjectsDone,
     {"search cn=schema base objectClasses=qupPosixConfig",
      "search cn=schema base objectClasses=qupPosixWorkstation",
      "add cn=UNIX Config" + kConfigValues, "modify " + kRights, kAddWorkstation,
      "modify " + kTrustee, "modify cn=UNIX Config +qupPosixWorkstationContexts=[]", kAddProxy},
     "",
     "",
     0,
     ""},
};

TEST(ContextsTest, RequestsAndOutcome) {
  std::string storeFile = ::testing::TempDir() + "contexts_test.conf";
  std::string logFile = ::testing::TempDir() + "contexts_test.log";
  setLogFileForTesting(logFile.c_str());
  std::string host;
  ASSERT_EQ(readShortHostName(host), 0);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.dn.empty() ? c.out : c.dn);
    runSettings = RunSettings{};
    runSettings.partitionRoot = c.partitionRoot;
    runSettings.workstationContext = c.workstationContext;
    runSettings.overwriteCount = c.overwrite;
    runSettings.proxyUserFdn = "cn=proxy,o=corp";
    runSettings.proxyUserPassword = "pw";
    std::ofstream(storeFile) << c.store;
    kivSetConfigFile(storeFile.c_str());
    std::string workstation = workstationDn(host, c.workstationContext);
    auto withHost = [&](std::string text) {
      for (size_t at = text.find("WS"); at != std::string::npos; at = text.find("WS", at))
        text.replace(at, 2, workstation);
      return text;
    };
    RecordingDirectory directory;
    for (const Rule& rule : c.rules)
      directory.reply(withHost(rule.prefix), rule.code, rule.entries, rule.times);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.dn.empty() ? configureObjects(directory) : createContext(directory, c.dn),
              c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    Lines expected;
    for (const std::string& line : c.requests)
      expected.push_back(withHost(line));
    EXPECT_EQ(directory.requests, expected);
    kivEndConfig();
  }
  kivSetConfigFile(nullptr);
  unlink(storeFile.c_str());
  unlink(logFile.c_str());
}

}  // namespace
