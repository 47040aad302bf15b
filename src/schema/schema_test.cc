#include "schema/schema.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/directory_test_support.h"
#include "base/log.h"
#include "base/pause.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "schema/indices.h"
#include "schema/server_info.h"

namespace {

using Lines = std::vector<std::string>;

// The requests by short name. Each test schema file adds one object-class
// value, its own name.
const std::pair<std::string, std::string> kRequests[] = {
    {"modify cn=schema -attributetypes=[(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX "
     "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )][( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX "
     "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )]",
     "unmap"},
    {"refresh", "refresh"},
    {"search cn=schema base objectclass=*", "classes"},
    {"schema-names attributeTypes", "attributes"},
    {"modify cn=schema +objectClasses=[kiv]", "kiv"},
    {"modify cn=schema +objectClasses=[kivid]", "kivid"},
    {"search  base (objectclass=*) dsaName", "dsaName"},
    {"modify cn=ombrel,o=corp "
     "+indexDefinition=[0$gidNumber$0$0$2$1$gidNumber][0$uidNumber$0$0$2$1$uidNumber]",
     "index"},
    {"extended 1.3.6.1.4.1.32473.1.27.100.49 Dummy Value", "complete"},
};

// What the steps print, by short name.
const std::pair<std::string, std::string> kMessages[] = {
    {"unmapped", "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n"},
    {"extended", "KIV Schema is extended successfully.\n"},
    {"already", "KIV Schema is already extended.\n"},
    {"updating", "KIV Schema is already extended, updating.\n"},
    {"kivFailed", "Error in extending the kiv(rfc2307) schema:68\n"},
    {"idExtended", "KIV Unique id schema is extended successfully.\n"},
    {"idAlready", "KIV Unique id schema is already extended.\n"},
    {"indexed", "Added the uidNumber and gidNumber indices to the LDAP server successfully\n"},
    {"indexExists", "uidNumber and gidNumber attribute indices already exist in the LDAP server\n"},
};

constexpr const char* kEverything =
    "qupPosixConfig qupPosixWorkstation qupPosixPAMServiceExcludeList qupPosixUidNumberInfo "
    "qupPosixGidNumberInfo";

std::string summary(const Lines& requests) {
  std::string names;
  for (const std::string& request : requests) {
    std::string name = request;
    for (const auto& [line, shortName] : kRequests) {
      if (request == line)
        name = shortName;
    }
    names += (names.empty() ? "" : " ") + name;
  }
  return names;
}

std::string messages(const std::string& names) {
  std::istringstream words(names);
  std::string text;
  for (std::string word; words >> word;) {
    for (const auto& [name, message] : kMessages)
      text += name == word ? message : "";
  }
  return text;
}

std::vector<unsigned> pauses;

void recordPause(unsigned seconds) {
  pauses.push_back(seconds);
}

class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runSettings = RunSettings{};
    pauses.clear();
    setSleeperForTesting(recordPause);
    setLogFileForTesting(logFile_.c_str());
    for (const char* name : {"kiv", "kivid"}) {
      std::ofstream(::testing::TempDir() + "schema_test_" + name + ".ldif")
          << "dn: cn=schema\nchangetype: modify\nadd: objectClasses\nobjectClasses: " << name
          << "\n-\n";
    }
    setSchemaFilesForTesting(kivFile_.c_str(), kividFile_.c_str());
  }
  void TearDown() override {
    for (const std::string& path : {logFile_, kivFile_, kividFile_})
      unlink(path.c_str());
  }

  // A directory whose schema holds the space-separated `present` names and
  // whose root entry names the server entry when `serverEntryName`. The
  // requests named in `answers` ("kiv=20 index=50") answer those codes. The
  // log starts empty.
  void serve(const std::string& present, const std::string& answers, bool serverEntryName = true) {
    unlink(logFile_.c_str());
    directory_ = RecordingDirectory{};
    std::istringstream words(answers);
    for (std::string word; words >> word;) {
      size_t equals = word.find('=');
      for (const auto& [prefix, name] : kRequests) {
        if (name == word.substr(0, equals))
          directory_.reply(prefix, std::stoi(word.substr(equals + 1)));
      }
    }
    DirectoryEntry schema{"cn=schema", {{"OBJECTCLASSES", {}}}};
    std::istringstream names(present);
    for (std::string name; names >> name;) {
      if (name.starts_with("qupPosixPAM"))
        directory_.schemaNames[SchemaElementKind::kAttributeType] = {"cn", name};
      else
        schema.attributes[0].values.push_back("( 1.1 NAME '" + name + "' SUP top )");
    }
    directory_.reply("search cn=schema base", 0, {schema});
    DirectoryEntry root{"", {{"vendorVersion", {"Ombrel 8.6"}}}};
    if (serverEntryName)
      root.attributes.push_back({"dsaName", {"cn=ombrel,o=corp"}});
    directory_.reply("search  base", 0, {root});
  }

  bool logged(const std::string& line) {
    std::ifstream in(logFile_);
    std::string text(std::istreambuf_iterator<char>(in), {});
    return line.empty() || text.find(": " + line + "\n") != std::string::npos;
  }

  RecordingDirectory directory_;
  std::string logFile_ = ::testing::TempDir() + "schema_test.log";
  std::string kivFile_ = ::testing::TempDir() + "schema_test_kiv.ldif";
  std::string kividFile_ = ::testing::TempDir() + "schema_test_kivid.ldif";
};

TEST_F(SchemaTest, UpdateSchema) {
  constexpr JoinMode add = JoinMode::kAdd;
  constexpr JoinMode upgrade = JoinMode::kUpgrade;
  struct Case {
    JoinMode mode;
    float version;
    const char* present;
    const char* answers;
    const char* missingFile;
    int result;
    const char* requests;
    const char* printed;
    size_t pauses;
    const char* logged;
  };
  const Case cases[] = {
      {add, 8.6f, "", "", "", 0, "unmap refresh classes kiv classes kivid dsaName index complete",
       "unmapped extended idExtended indexed", 2, "KIV Schema is extended successfuly."},
      {add, 8.51f, kEverything, "unmap=16 index=20", "", 0,
       "unmap classes classes attributes classes classes dsaName index",
       "already idAlready indexExists", 0, ""},
      // The attribute type missing: kiv.ldif again, whose 20 means updating.
      {add, 0, "qupPosixConfig qupPosixWorkstation qupPosixUidNumberInfo qupPosixGidNumberInfo",
       "kiv=20", "", 0, "unmap refresh classes classes attributes kiv classes classes",
       "unmapped updating idAlready", 0, "KIV Schema is already extended, updating."},
      {upgrade, 8.5f, "", "", "", 0, "unmap refresh classes kivid", "unmapped idExtended", 1,
       "KIV Unique id schema is extended successfully."},
      {add, 8.6f, "", "kiv=68", "", 68, "unmap refresh classes kiv dsaName index complete",
       "unmapped kivFailed indexed", 0, "Error in extending the kiv(rfc2307) schema."},
      {add, 0, "", "kivid=50", "", 50, "unmap refresh classes kiv classes kivid",
       "unmapped extended", 1, "Error in extending the kivid schema."},
      // The gid class alone is not looked up.
      {add, 0,
       "qupPosixConfig qupPosixWorkstation qupPosixPAMServiceExcludeList "
       "qupPosixGidNumberInfo",
       "kivid=20", "", 0, "unmap refresh classes classes attributes classes kivid",
       "unmapped already idAlready", 0, ""},
      // Class names count inside longer ones, with their case; attribute
      // types only by their whole name.
      {add, 0, "qupPosixConfigOld qupPosixWorkstation qupPosixPAMServiceExcludeListOld", "", "", 0,
       "unmap refresh classes classes attributes kiv classes kivid", "unmapped extended idExtended",
       2, ""},
      {add, 0, "qupposixconfig", "", "", 0, "unmap refresh classes kiv classes kivid",
       "unmapped extended idExtended", 2, ""},
      // A schema that cannot be read counts as not extended.
      {add, 0, kEverything, "attributes=1", "", 0,
       "unmap refresh classes classes attributes kiv classes classes",
       "unmapped extended idAlready", 1, ""},
      {add, 0, kEverything, "classes=1", "", 0, "unmap refresh classes kiv classes kivid",
       "unmapped extended idExtended", 2, ""},
      {add, 8.6f, "", "", "kiv", kSchemaFileMissing, "unmap refresh dsaName index complete",
       "unmapped indexed", 0, ""},
      {upgrade, 0, "", "", "kiv", kSchemaFileMissing, "unmap refresh", "unmapped", 0, ""},
      {add, 0, "", "", "kivid", kUniqueIdSchemaFileMissing, "unmap refresh classes kiv",
       "unmapped extended", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requests);
    pauses.clear();
    runSettings.serverVersion = c.version;
    serve(c.present, c.answers);
    const char* missing = "/nonexistent/schema.ldif";
    setSchemaFilesForTesting(std::string(c.missingFile) == "kiv" ? missing : kivFile_.c_str(),
                             std::string(c.missingFile) == "kivid" ? missing : kividFile_.c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(updateSchema(directory_, c.mode), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), messages(c.printed));
    EXPECT_EQ(summary(directory_.requests), c.requests);
    EXPECT_EQ(pauses, std::vector<unsigned>(c.pauses, 5));
    EXPECT_TRUE(logged("Schema found was not Corvex. Extending it to RFC2307 schema."));
    EXPECT_TRUE(logged(c.logged));
  }
}

int addIndices(DirectoryRequests& directory) {
  addIdIndices(directory);
  return 0;
}

// The failures of the mapping and index steps; their successes are rows of
// UpdateSchema.
TEST_F(SchemaTest, MappingsAndIndices) {
  struct Case {
    int (*step)(DirectoryRequests&);
    const char* answers;
    bool serverEntryName;
    int result;
    const char* requests;
    const char* printed;
    const char* logged;
  };
  const char* noServerEntry =
      "Unable to get the LDAP server dn\nAdding the gidNumber and uidNumber indices failed.";
  const Case cases[] = {
      {deleteIdMappings, "refresh=80", true, 80, "unmap refresh", "unmapped", ""},
      {deleteIdMappings, "unmap=16", true, 16, "unmap", "", ""},
      {addIndices, "", false, 0, "dsaName", "", noServerEntry},
      {addIndices, "dsaName=50", true, 0, "dsaName", "", noServerEntry},
      {addIndices, "index=50", true, 0, "dsaName index", "indexExists", ""},
      {addIndices, "complete=2", true, 0, "dsaName index complete", "",
       "Failed to complete adding indices for the uidNumber and gidNumber attributes to the "
       "LDAP server"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    serve("", c.answers, c.serverEntryName);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.step(directory_), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), messages(c.printed));
    EXPECT_EQ(summary(directory_.requests), c.requests);
    EXPECT_TRUE(logged(c.logged));
  }
}

TEST_F(SchemaTest, ReadServerParameter) {
  struct Case {
    int code;
    const char* attribute;  // null: no entry
    std::vector<std::string> values;
    int result;
    const char* logged;
  };
  const Case cases[] = {
      {0,
       "VENDORVERSION",
       {"Ombrel 8.6", "x"},
       0,
       "LDAP server parameter vendorVersion: Ombrel 8.6"},
      {0,
       "vendorVersion",
       {},
       kNoServerParameter,
       "Unable to get the server parameter vendorVersion"},
      {0, nullptr, {}, -1, "Unable to read the LDAP server parameter."},
      {LDAP_NO_SUCH_OBJECT,
       nullptr,
       {},
       LDAP_NO_SUCH_OBJECT,
       "Getting ther LDAP Server parameter failed: No such object"},
  };
  for (const Case& c : cases) {
    unlink(logFile_.c_str());
    directory_ = RecordingDirectory{};
    std::vector<DirectoryEntry> root;
    if (c.attribute != nullptr)
      root.push_back({"", {{c.attribute, c.values}}});
    directory_.reply("", c.code, root);
    std::string value;
    EXPECT_EQ(readServerParameter(directory_, "vendorVersion", value), c.result);
    EXPECT_EQ(value, c.result == 0 ? "Ombrel 8.6" : "");
    EXPECT_EQ(directory_.requests, Lines{"search  base (objectclass=*) vendorVersion"});
    EXPECT_TRUE(logged(c.logged)) << c.logged;
    // The server version is 0 whenever none was read.
    runSettings.serverVersion = 1;
    readServerVersion(directory_);
    EXPECT_EQ(runSettings.serverVersion, c.result == 0 ? 8.6f : 0);
  }
}

TEST(ParseServerVersion, FromTheFirstDigit) {
  const std::pair<const char*, float> cases[] = {
      {"8.7.3", 8.7f}, {"x8.5", 8.5f}, {"Ombrel 8.5.1", 8.5f}, {"v8.6", 8.6f}, {"10 beta", 10},
      {"8.51", 8.51f}, {"", 0},        {"no digits", 0},
  };
  for (const auto& [text, version] : cases)
    EXPECT_EQ(parseServerVersion(text), version) << text;
}

}  // namespace
