#include "schema/indices.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/directory_test_support.h"
#include "base/log.h"
#include "base/run_settings.h"
#include "schema/server_info.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* kDsaNameSearch = "search  base (objectclass=*) dsaName";
constexpr const char* kIndexModify =
    "modify cn=ombrel,o=corp +indexDefinition=[0$gidNumber$0$0$2$1$gidNumber]"
    "[0$uidNumber$0$0$2$1$uidNumber]";
constexpr const char* kCompletion = "extended 1.3.6.1.4.1.32473.1.27.100.49 Dummy Value";

const DirectoryEntry kRootEntry{"", {{"dsaName", {"cn=ombrel,o=corp"}}}};

class ServerEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runSettings = RunSettings{};
    setLogFileForTesting(logFile_.c_str());
  }
  void TearDown() override { unlink(logFile_.c_str()); }

  std::string log() {
    std::ifstream in(logFile_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string logFile_ = ::testing::TempDir() + "indices_test.log";
};

TEST_F(ServerEntryTest, DeleteIdMappings) {
  struct Case {
    int modifyAnswer;
    int refreshAnswer;
    int result;
    Lines requests;
    const char* out;
  };
  const std::string unmap =
      "modify cn=schema -attributetypes=[(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX "
      "1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )][( 1.3.6.1.1.1.1.0 NAME 'uidNumber' "
      "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )]";
  const char* deleted = "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n";
  const Case cases[] = {
      {0, 0, 0, {unmap, "refresh"}, deleted},
      {0, LDAP_OTHER, LDAP_OTHER, {unmap, "refresh"}, deleted},
      {LDAP_NO_SUCH_ATTRIBUTE, 0, LDAP_NO_SUCH_ATTRIBUTE, {unmap}, ""},
  };
  for (const Case& c : cases) {
    RecordingDirectory directory;
    directory.reply("modify", c.modifyAnswer);
    directory.reply("refresh", c.refreshAnswer);
    testing::internal::CaptureStdout();
    EXPECT_EQ(deleteIdMappings(directory), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(directory.requests, c.requests);
  }
}

TEST_F(ServerEntryTest, AddIdIndices) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int>> answers;
    std::vector<DirectoryEntry> root;
    Lines requests;
    const char* out;
    const char* logged;
  };
  const char* noServerDn =
      "Unable to get the LDAP server dn\nAdding the gidNumber and uidNumber indices failed.";
  const char* exist = "uidNumber and gidNumber attribute indices already exist in the LDAP server";
  const Case cases[] = {
      {"added and completed",
       {},
       {kRootEntry},
       {kDsaNameSearch, kIndexModify, kCompletion},
       "Added the uidNumber and gidNumber indices to the LDAP server successfully\n",
       "Added the uidNumber and gidNumber indices to the LDAP server successfully"},
      {"no dsaName", {}, {{"", {{"vendorVersion", {"8.6"}}}}}, {kDsaNameSearch}, "", noServerDn},
      {"root entry unreadable",
       {{"search", LDAP_INSUFFICIENT_ACCESS}},
       {},
       {kDsaNameSearch},
       "",
       noServerDn},
      {"values there",
       {{"modify", LDAP_TYPE_OR_VALUE_EXISTS}},
       {kRootEntry},
       {kDsaNameSearch, kIndexModify},
       "uidNumber and gidNumber attribute indices already exist "
       "in the LDAP server\n",
       exist},
      {"any refusal reads as already there",
       {{"modify", LDAP_INSUFFICIENT_ACCESS}},
       {kRootEntry},
       {kDsaNameSearch, kIndexModify},
       "uidNumber and gidNumber attribute indices already exist "
       "in the LDAP server\n",
       exist},
      {"completion refused",
       {{"extended", LDAP_PROTOCOL_ERROR}},
       {kRootEntry},
       {kDsaNameSearch, kIndexModify, kCompletion},
       "",
       "Failed to complete adding indices for the uidNumber and gidNumber attributes to the LDAP "
       "server"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(logFile_.c_str());
    RecordingDirectory directory;
    for (const auto& [prefix, code] : c.answers)
      directory.reply(prefix, code);
    directory.reply("search", 0, c.root);
    testing::internal::CaptureStdout();
    addIdIndices(directory);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(directory.requests, c.requests);
    EXPECT_NE(log().find(std::string(": ") + c.logged + "\n"), std::string::npos) << log();
  }
}

TEST_F(ServerEntryTest, ReadServerParameter) {
  struct Case {
    int searchAnswer;
    std::vector<DirectoryEntry> root;
    int result;
    const char* value;
    const char* logged;
  };
  const Case cases[] = {
      {0,
       {{"", {{"VENDORVERSION", {"Ombrel 8.6", "x"}}}}},
       0,
       "Ombrel 8.6",
       "LDAP server parameter vendorVersion: Ombrel 8.6"},
      {0,
       {{"", {{"vendorVersion", {}}}}},
       kNoServerParameter,
       "",
       "Unable to get the server parameter vendorVersion"},
      {0, {{"", {}}}, kNoServerParameter, "", "Unable to get the server parameter vendorVersion"},
      {0, {}, -1, "", "Unable to read the LDAP server parameter."},
      {LDAP_NO_SUCH_OBJECT,
       {},
       LDAP_NO_SUCH_OBJECT,
       "",
       "Getting ther LDAP Server parameter failed: No such object"},
  };
  for (const Case& c : cases) {
    unlink(logFile_.c_str());
    RecordingDirectory directory;
    directory.reply("search", c.searchAnswer, c.root);
    std::string value;
    EXPECT_EQ(readServerParameter(directory, "vendorVersion", value), c.result);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(directory.requests, Lines{"search  base (objectclass=*) vendorVersion"});
    EXPECT_NE(log().find(std::string(": ") + c.logged + "\n"), std::string::npos) << log();

    // The version is read the same way, and is 0 whenever nothing was read.
    runSettings.serverVersion = 1;
    readServerVersion(directory);
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
