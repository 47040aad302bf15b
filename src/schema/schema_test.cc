#include "schema/schema.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "base/directory_test_support.h"
#include "base/host_test_support.h"
#include "base/ldap_error.h"
#include "schema/indices.h"
#include "schema/server_info.h"

namespace {

// The requests by short name and by the bytes they start with. Each test
// schema file adds one object-class value, its own name.
const std::pair<std::string, std::string> kRequests[] = {
    {"unmap", "modify cn=schema -attributetypes="},
    {"refresh", "refresh"},
    {"classes", "search cn=schema base objectclass=*"},
    {"attributes", "schema-names attributeTypes"},
    {"kiv", "modify cn=schema +objectClasses=[kiv]"},
    {"kivid", "modify cn=schema +objectClasses=[kivid]"},
    {"dsaName", "search  base (objectclass=*) dsaName"},
    {"index", "modify cn=ombrel,o=corp +indexDefinition="},
    {"complete", "extended "}};

// What the steps say, by short name: the printed text and the logged one,
// "" when that is the printed text without its line end, "-" for none.
const std::tuple<std::string, std::string, std::string> kSaid[] = {
    {"unmapped", "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n", "-"},
    {"extended", "KIV Schema is extended successfully.\n", "KIV Schema is extended successfuly."},
    {"already", "KIV Schema is already extended.\n", ""},
    {"updating", "KIV Schema is already extended, updating.\n", ""},
    {"kivFailed", "Error in extending the kiv(rfc2307) schema:68\n",
     "Error in extending the kiv(rfc2307) schema."},
    {"idExtended", "KIV Unique id schema is extended successfully.\n", ""},
    {"idAlready", "KIV Unique id schema is already extended.\n", ""},
    {"idFailed", "", "Error in extending the kivid schema."},
    {"dsa", "", "LDAP server parameter dsaName: cn=ombrel,o=corp"},
    {"noDsa", "", "Unable to read the LDAP server parameter."},
    {"dsaFailed", "", "Getting ther LDAP Server parameter failed: No such object"},
    {"noIndex", "",
     "Unable to get the LDAP server dn\nAdding the gidNumber and uidNumber indices failed."},
    {"indexed", "Added the uidNumber and gidNumber indices to the LDAP server successfully\n", ""},
    {"indexExists", "uidNumber and gidNumber attribute indices already exist in the LDAP server\n",
     ""},
    {"incomplete", "",
     "Failed to complete adding indices for the uidNumber and gidNumber attributes to the LDAP "
     "server"}};

// The words of a row's list field: joined by ",", or "-" for none.
std::istringstream words(std::string text) {
  std::replace(text.begin(), text.end(), ',', ' ');
  text = text == "-" ? "" : text;
  return std::istringstream(text);
}

// A directory whose schema holds the `present` names ("*" for all) and whose
// root entry names the server entry. The requests named in `answers`
// ("kiv=20,index=50") answer those codes, without entries.
RecordingDirectory serve(const std::string& present, const std::string& answers) {
  RecordingDirectory directory;
  std::istringstream answered = words(answers);
  for (std::string word; answered >> word;) {
    for (const auto& [name, start] : kRequests) {
      if (word.starts_with(name + "="))
        directory.reply(start, std::stoi(word.substr(name.size() + 1)));
    }
  }
  DirectoryEntry schema{"cn=schema", {{"OBJECTCLASSES", {}}}};
  std::istringstream names = words(present != "*" ? present
                                                  : "qupPosixConfig qupPosixWorkstation "
                                                    "qupPosixPAMServiceExcludeList "
                                                    "qupPosixUidNumberInfo qupPosixGidNumberInfo");
  for (std::string name; names >> name;) {
    if (name.starts_with("qupPosixPAM"))
      directory.schemaNames[SchemaElementKind::kAttributeType] = {"cn", name};
    else
      schema.attributes[0].values.push_back("( 1.1 NAME '" + name + "' SUP top )");
  }
  directory.reply("search cn=schema base", 0, {schema});
  directory.reply("search  base", 0, {{"", {{"DSANAME", {"cn=ombrel,o=corp", "x"}}}}});
  return directory;
}

// Each row: the mode, the server version, the names present ("-" none,
// "*" all), the requests answering other than 0 ("-" none), the schema file
// missing ("-" none), the result and the number of pauses; then, after "|",
// the requests and, after another "|", what is said, by their short names.
const char* const kRows[] = {
    "add 8.6 - - - 0 2 | unmap refresh classes kiv classes kivid dsaName index complete |"
    " unmapped extended idExtended dsa indexed",
    "add 8.51 * unmap=16,index=20 - 0 0 | unmap classes classes attributes classes classes dsaName"
    " index | already idAlready dsa indexExists",
    // The attribute type missing: kiv.ldif again, whose 20 means updating.
    "add 0 qupPosixConfig,qupPosixWorkstation,qupPosixUidNumberInfo,qupPosixGidNumberInfo kiv=20 -"
    " 0 0 | unmap refresh classes classes attributes kiv classes classes | unmapped updating "
    "idAlready",
    "upgrade 8.5 - - - 0 1 | unmap refresh classes kivid | unmapped idExtended",
    "add 8.6 - kiv=68 - 68 0 | unmap refresh classes kiv dsaName index complete |"
    " unmapped kivFailed dsa indexed",
    "add 0 - kivid=50 - 50 1 | unmap refresh classes kiv classes kivid | unmapped extended "
    "idFailed",
    // The gid class alone is not looked up.
    "add 0 qupPosixConfig,qupPosixWorkstation,qupPosixPAMServiceExcludeList,qupPosixGidNumberInfo"
    " kivid=20 - 0 0 | unmap refresh classes classes attributes classes kivid |"
    " unmapped already idAlready",
    // Class names count inside longer ones, with their case; attribute types
    // only by their whole name.
    "add 0 qupPosixConfigOld,qupPosixWorkstation,qupPosixPAMServiceExcludeListOld - - 0 2 |"
    " unmap refresh classes classes attributes kiv classes kivid | unmapped extended idExtended",
    "add 0 qupposixconfig - - 0 2 | unmap refresh classes kiv classes kivid |"
    " unmapped extended idExtended",
    // A schema that cannot be read counts as not extended.
    "add 0 * attributes=1 - 0 1 | unmap refresh classes classes attributes kiv classes classes |"
    " unmapped extended idAlready",
    "add 0 * classes=1 - 0 2 | unmap refresh classes kiv classes kivid | unmapped extended "
    "idExtended",
    "add 8.6 - - kiv -6018 0 | unmap refresh dsaName index complete | unmapped dsa indexed",
    "upgrade 0 - - kiv -6018 0 | unmap refresh | unmapped",
    "add 0 - - kivid -6019 1 | unmap refresh classes kiv | unmapped extended",
    // The index step's failures end it quietly on the terminal.
    "add 8.6 * dsaName=0 - 0 0 | unmap refresh classes classes attributes classes classes dsaName |"
    " unmapped already idAlready noDsa noIndex",
    "add 8.6 * dsaName=32 - 0 0 | unmap refresh classes classes attributes classes classes"
    " dsaName | unmapped already idAlready dsaFailed noIndex",
    "add 8.6 * complete=2 - 0 0 | unmap refresh classes classes attributes classes classes dsaName"
    " index complete | unmapped already idAlready dsa incomplete"};

TEST(SchemaTest, UpdateSchema) {
  // ctest runs the cases of this binary in parallel processes.
  const std::string dir = ::testing::TempDir() + "SchemaTest_UpdateSchema/";
  std::filesystem::create_directories(dir);
  for (const char* name : {"kiv", "kivid"}) {
    std::ofstream(dir + name + ".ldif") << "dn: cn=schema\nchangetype: modify\nadd: objectClasses\n"
                                        << "objectClasses: " << name << "\n-\n";
  }
  for (const char* row : kRows) {
    SCOPED_TRACE(row);
    std::istringstream in(row);
    std::string mode, present, answers, missing, bar, requests, said;
    float version;
    int result, pauses;
    in >> mode >> version >> present >> answers >> missing >> result >> pauses >> bar;
    std::getline(in, requests, '|');
    std::getline(in, said);
    RecordingDirectory directory = serve(present, answers);
    RecordingHost host;
    std::string kiv = dir + (missing == "kiv" ? "missing" : "kiv.ldif");
    std::string kivid = dir + (missing == "kivid" ? "missing" : "kivid.ldif");
    testing::internal::CaptureStdout();
    EXPECT_EQ(updateSchema(directory, host, {kiv.c_str(), kivid.c_str()},
                           mode == "add" ? JoinMode::kAdd : JoinMode::kUpgrade, version),
              result);
    std::string printed;
    Lines logged{"Schema found was not Corvex. Extending it to RFC2307 schema."};
    std::istringstream names(said);
    for (std::string name; names >> name;) {
      for (const auto& [shortName, text, log] : kSaid) {
        printed += shortName == name ? text : "";
        if (shortName == name && log != "-")
          logged.push_back(log.empty() ? text.substr(0, text.size() - 1) : log);
      }
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
    std::string sent = " ";
    for (std::string request : directory.requests) {
      for (const auto& [name, start] : kRequests)
        request = request.starts_with(start) ? name : request;
      sent += request + " ";
    }
    EXPECT_EQ(sent, requests);
    EXPECT_EQ(host.logLines, logged);
    EXPECT_EQ(host.calls, Lines(pauses, "pause 5"));
  }
  std::filesystem::remove_all(dir);
}

// The mapping and index values name the id attributes, gid first; the
// mappings' removal answers the refresh's code.
TEST(SchemaTest, MappingsAndIndicesNameTheIdAttributes) {
  using ::testing::MatchesRegex;
  RecordingDirectory directory = serve("-", "refresh=80");
  RecordingHost host;
  testing::internal::CaptureStdout();
  EXPECT_EQ(deleteIdMappings(directory), 80);
  addIdIndices(directory, host);
  testing::internal::GetCapturedStdout();
  EXPECT_THAT(directory.requests,
              ::testing::ElementsAre(
                  MatchesRegex("modify cn=schema -attributetypes=\\[[^]]*'gidNumber'[^]]*'GID' "
                               "\\)]\\[[^]]*'uidNumber'[^]]*'UID' \\)]"),
                  "refresh", "search  base (objectclass=*) dsaName",
                  MatchesRegex("modify cn=ombrel,o=corp \\+indexDefinition=\\[[^]]*\\$gidNumber\\$"
                               "[^]]*]\\[[^]]*\\$uidNumber\\$[^]]*]"),
                  MatchesRegex("extended [0-9.]+ Dummy Value")));
}

// The other outcomes of reading a server parameter are rows of UpdateSchema.
TEST(SchemaTest, ServerVersionIsZeroWhenNoneIsRead) {
  RecordingHost host;
  RecordingDirectory versioned;
  versioned.reply("", 0, {{"", {{"vendorVersion", {"Ombrel 8.6"}}}}});
  EXPECT_EQ(readServerVersion(versioned, host), 8.6f);
  RecordingDirectory unversioned = serve("-", "-");
  EXPECT_EQ(readServerVersion(unversioned, host), 0);
  EXPECT_EQ(host.logLines, Lines({"LDAP server parameter vendorVersion: Ombrel 8.6",
                                  "Unable to get the server parameter vendorVersion"}));
  EXPECT_EQ(unversioned.requests, Lines{"search  base (objectclass=*) vendorVersion"});
}

TEST(ParseServerVersion, FromTheFirstDigit) {
  const std::pair<const char*, float> cases[] = {
      {"8.7.3", 8.7f}, {"x8.5", 8.5f}, {"Ombrel 8.5.1", 8.5f}, {"v8.6", 8.6f}, {"10 beta", 10},
      {"8.51", 8.51f}, {"", 0},        {"no digits", 0}};
  for (const auto& [text, version] : cases)
    EXPECT_EQ(parseServerVersion(text), version) << text;
}

}  // namespace
