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

namespace {

constexpr const char* kMappings =
    "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n";
constexpr const char* kExtended = "KIV Schema is extended successfully.\n";
constexpr const char* kAlready = "KIV Schema is already extended.\n";
constexpr const char* kUpdating = "KIV Schema is already extended, updating.\n";
constexpr const char* kIdExtended = "KIV Unique id schema is extended successfully.\n";
constexpr const char* kIdAlready = "KIV Unique id schema is already extended.\n";
constexpr const char* kIndices =
    "Added the uidNumber and gidNumber indices to the LDAP server successfully\n";
constexpr const char* kIndicesExist =
    "uidNumber and gidNumber attribute indices already exist in the LDAP server\n";

constexpr const char* kAllClasses =
    "qupPosixConfig qupPosixWorkstation qupPosixUidNumberInfo qupPosixGidNumberInfo";

// The test schema files each add one object-class value, which names the
// file in the request line.
constexpr const char* kApplyAccountSchema = "modify cn=schema +objectClasses=[kiv]";
constexpr const char* kApplyUniqueIdSchema = "modify cn=schema +objectClasses=[kivid]";

// Short names of the requests of the schema stage, by the start of the line.
const std::pair<std::string, std::string> kRequestNames[] = {
    {"modify cn=schema -attributetypes=", "unmap"},
    {"refresh", "refresh"},
    {"search cn=schema base objectclass=*", "classes"},
    {"schema-names attributeTypes", "attributes"},
    {kApplyAccountSchema, "kiv"},
    {kApplyUniqueIdSchema, "kivid"},
    {"search  base (objectclass=*) dsaName", "dsaName"},
    {"modify cn=ombrel,o=corp +indexDefinition=", "index"},
    {"extended 1.3.6.1.4.1.32473.1.27.100.49 ", "complete"},
};

std::string summary(const std::vector<std::string>& requests) {
  std::string names;
  for (const std::string& request : requests) {
    std::string name = request;
    for (const auto& [prefix, shortName] : kRequestNames) {
      if (request.compare(0, prefix.size(), prefix) == 0)
        name = shortName;
    }
    names += (names.empty() ? "" : " ") + name;
  }
  return names;
}

std::vector<unsigned> pauses;

void recordPause(unsigned seconds) {
  pauses.push_back(seconds);
}

class SchemaStageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runSettings = RunSettings{};
    pauses.clear();
    setSleeperForTesting(recordPause);
    setLogFileForTesting(logFile_.c_str());
    std::ofstream(accountSchema_) << "dn: cn=schema\nchangetype: modify\nadd: objectClasses\n"
                                     "objectClasses: kiv\n-\n";
    std::ofstream(uniqueIdSchema_) << "dn: cn=schema\nchangetype: modify\nadd: objectClasses\n"
                                      "objectClasses: kivid\n-\n";
    setSchemaFilesForTesting(accountSchema_.c_str(), uniqueIdSchema_.c_str());
  }
  void TearDown() override {
    unlink(logFile_.c_str());
    unlink(accountSchema_.c_str());
    unlink(uniqueIdSchema_.c_str());
  }

  // The server's schema: an object-class definition for each of the
  // space-separated `classes`, and the PAM attribute type when asked for.
  void serveSchema(const std::string& classes, bool pamAttribute) {
    DirectoryEntry schema{"cn=schema", {{"objectClasses", {}}}};
    std::istringstream names(classes);
    for (std::string name; names >> name;)
      schema.attributes[0].values.push_back("( 1.1 NAME '" + name + "' SUP top )");
    directory_.reply("search cn=schema base", 0, {schema});
    if (pamAttribute)
      directory_.schemaNames[SchemaElementKind::kAttributeType] = {"cn",
                                                                   "qupPosixPAMServiceExcludeList"};
    directory_.reply("search  base", 0, {{"", {{"dsaName", {"cn=ombrel,o=corp"}}}}});
  }

  std::string log() {
    std::ifstream in(logFile_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  RecordingDirectory directory_;
  std::string logFile_ = ::testing::TempDir() + "schema_test.log";
  std::string accountSchema_ = ::testing::TempDir() + "schema_test_kiv.ldif";
  std::string uniqueIdSchema_ = ::testing::TempDir() + "schema_test_kivid.ldif";
};

TEST_F(SchemaStageTest, FreshSchemaGetsEveryRequestOnce) {
  runSettings.serverVersion = 8.6f;
  serveSchema("", false);
  testing::internal::CaptureStdout();
  EXPECT_EQ(updateSchema(directory_, JoinMode::kAdd), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string(kMappings) + kExtended + kIdExtended + kIndices);
  EXPECT_EQ(directory_.requests,
            (std::vector<std::string>{
                "modify cn=schema -attributetypes=[(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' "
                "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )][( 1.3.6.1.1.1.1.0 NAME "
                "'uidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )]",
                "refresh",
                "search cn=schema base objectclass=*",
                kApplyAccountSchema,
                "search cn=schema base objectclass=*",
                kApplyUniqueIdSchema,
                "search  base (objectclass=*) dsaName",
                "modify cn=ombrel,o=corp +indexDefinition=[0$gidNumber$0$0$2$1$gidNumber]"
                "[0$uidNumber$0$0$2$1$uidNumber]",
                "extended 1.3.6.1.4.1.32473.1.27.100.49 Dummy Value",
            }));
  EXPECT_EQ(pauses, (std::vector<unsigned>{5, 5}));
  std::string logged = log();
  for (const char* line :
       {"Schema found was not Corvex. Extending it to RFC2307 schema.",
        "KIV Schema is extended successfuly.", "KIV Unique id schema is extended successfully."})
    EXPECT_NE(logged.find(std::string(": ") + line + "\n"), std::string::npos) << line;
}

TEST_F(SchemaStageTest, UpdateSchema) {
  struct Case {
    const char* name;
    JoinMode mode;
    float version;
    const char* classes;
    bool pamAttribute;
    std::vector<std::pair<const char*, int>> answers;  // before the schema's
    int result;
    const char* requests;
    std::string out;
    size_t pauses;
    const char* logged;  // one line the log must hold, or null
  };
  const std::vector<Case> cases = {
      {"already extended, mappings gone, indices there; 8.51 is above 8.5",
       JoinMode::kAdd,
       8.51f,
       kAllClasses,
       true,
       {{"modify cn=schema -attributetypes", LDAP_NO_SUCH_ATTRIBUTE},
        {"modify cn=ombrel", LDAP_TYPE_OR_VALUE_EXISTS}},
       0,
       "unmap classes classes attributes classes classes dsaName index",
       std::string(kAlready) + kIdAlready + kIndicesExist,
       0,
       "uidNumber and gidNumber attribute indices already exist in the LDAP server"},
      {"attribute type missing: kiv.ldif again, whose 20 means updating; no version",
       JoinMode::kAdd,
       0,
       kAllClasses,
       false,
       {{kApplyAccountSchema, LDAP_TYPE_OR_VALUE_EXISTS}},
       0,
       "unmap refresh classes classes attributes kiv classes classes",
       std::string(kMappings) + kUpdating + kIdAlready,
       0,
       "KIV Schema is already extended, updating."},
      {"upgrade considers kivid.ldif only; 8.5 gets no indices",
       JoinMode::kUpgrade,
       8.5f,
       "",
       false,
       {},
       0,
       "unmap refresh classes kivid",
       std::string(kMappings) + kIdExtended,
       1,
       nullptr},
      {"kiv.ldif failing: no kivid.ldif, the indices all the same",
       JoinMode::kAdd,
       8.6f,
       "",
       false,
       {{kApplyAccountSchema, LDAP_ALREADY_EXISTS}},
       LDAP_ALREADY_EXISTS,
       "unmap refresh classes kiv dsaName index complete",
       std::string(kMappings) + "Error in extending the kiv(rfc2307) schema:68\n" + kIndices,
       0,
       "Error in extending the kiv(rfc2307) schema."},
      {"kivid.ldif failing is logged only",
       JoinMode::kAdd,
       0,
       "",
       false,
       {{kApplyUniqueIdSchema, LDAP_INSUFFICIENT_ACCESS}},
       LDAP_INSUFFICIENT_ACCESS,
       "unmap refresh classes kiv classes kivid",
       std::string(kMappings) + kExtended,
       1,
       "Error in extending the kivid schema."},
      {"kivid.ldif answering 20; the gid class alone is not looked up",
       JoinMode::kAdd,
       0,
       "qupPosixConfig qupPosixWorkstation qupPosixGidNumberInfo",
       true,
       {{kApplyUniqueIdSchema, LDAP_TYPE_OR_VALUE_EXISTS}},
       0,
       "unmap refresh classes classes attributes classes kivid",
       std::string(kMappings) + kAlready + kIdAlready,
       0,
       nullptr},
      {"a schema that cannot be searched counts as not extended",
       JoinMode::kAdd,
       0,
       kAllClasses,
       true,
       {{"search cn=schema", LDAP_OPERATIONS_ERROR}},
       0,
       "unmap refresh classes kiv classes kivid",
       std::string(kMappings) + kExtended + kIdExtended,
       2,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    directory_ = RecordingDirectory{};
    pauses.clear();
    unlink(logFile_.c_str());
    runSettings.serverVersion = c.version;
    for (const auto& [prefix, code] : c.answers)
      directory_.reply(prefix, code);
    serveSchema(c.classes, c.pamAttribute);
    testing::internal::CaptureStdout();
    EXPECT_EQ(updateSchema(directory_, c.mode), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(summary(directory_.requests), c.requests);
    EXPECT_EQ(pauses.size(), c.pauses);
    if (c.logged != nullptr) {
      EXPECT_NE(log().find(std::string(": ") + c.logged + "\n"), std::string::npos);
    }
  }
}

TEST_F(SchemaStageTest, MissingSchemaFiles) {
  struct Case {
    bool accountFile;
    bool uniqueIdFile;
    int result;
    const char* requests;
    std::string out;
  };
  const Case cases[] = {
      {false, true, kSchemaFileMissing, "unmap refresh dsaName index complete",
       std::string(kMappings) + kIndices},
      {true, false, kUniqueIdSchemaFileMissing, "unmap refresh classes kiv dsaName index complete",
       std::string(kMappings) + kExtended + kIndices},
  };
  for (const Case& c : cases) {
    directory_ = RecordingDirectory{};
    runSettings.serverVersion = 8.6f;
    serveSchema("", false);
    setSchemaFilesForTesting(c.accountFile ? accountSchema_.c_str() : "/nonexistent/kiv.ldif",
                             c.uniqueIdFile ? uniqueIdSchema_.c_str() : "/nonexistent/kivid.ldif");
    testing::internal::CaptureStdout();
    EXPECT_EQ(updateSchema(directory_, JoinMode::kAdd), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(summary(directory_.requests), c.requests);
  }
}

// Class names are found anywhere in a definition, case-sensitively;
// attribute types only by their first name.
TEST_F(SchemaStageTest, PresenceTests) {
  directory_.reply(
      "search cn=schema", 0,
      {{"cn=schema",
        {{"attributeTypes", {"( 1 NAME 'qupPosixConfig' )"}},
         {"OBJECTCLASSES",
          {"( 2 NAME 'other' MAY qupPosixWorkstation )", "( 3 NAME 'qupPosixConfigExtra' )"}}}}});
  directory_.schemaNames[SchemaElementKind::kAttributeType] = {"uid",
                                                               "qupPosixPAMServiceExcludeList"};
  EXPECT_EQ(schemaHasObjectClass(directory_, "qupPosixWorkstation"), 0);
  EXPECT_EQ(schemaHasObjectClass(directory_, "qupPosixConfig"), 0);
  EXPECT_EQ(schemaHasObjectClass(directory_, "qupposixconfig"), kSchemaNameAbsent);
  EXPECT_EQ(schemaHasObjectClass(directory_, "qupPosixUidNumberInfo"), kSchemaNameAbsent);
  EXPECT_EQ(schemaHasElementName(directory_, SchemaElementKind::kAttributeType,
                                 "qupPosixPAMServiceExcludeList"),
            0);
  EXPECT_EQ(schemaHasElementName(directory_, SchemaElementKind::kAttributeType, "qupPosixPAM"), 1);

  RecordingDirectory failing;
  failing.reply("", LDAP_OPERATIONS_ERROR);
  failing.schemaNames[SchemaElementKind::kAttributeType] = {"uid"};
  EXPECT_EQ(schemaHasObjectClass(failing, "qupPosixConfig"), kCannotReadSchema);
  EXPECT_EQ(schemaHasElementName(failing, SchemaElementKind::kAttributeType, "uid"), 1);
}

}  // namespace
