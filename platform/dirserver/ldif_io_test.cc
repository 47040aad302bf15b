#include "ldif_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ombrel {
namespace {

Directory fresh() {
  Directory dir;
  dir.schema = builtinSchema();
  return dir;
}

TEST(LdifIoTest, DumpIsSortedAndLoadsBackUnchanged) {
  Directory dir = fresh();
  std::string error;
  ASSERT_EQ(loadLdif(&dir,
                     "version: 1\n\n# a comment\n"
                     "dn: o=corp\nobjectClass: organization\no: corp\n\n"
                     "dn: ou=z,o=corp\nobjectClass: organizationalUnit\nou: z\n\n"
                     "dn: ou=a,o=corp\nou: a\nobjectClass: organizationalUnit\n"
                     "description:: IGxlYWRpbmcgYmxhbms=\ndescription: folded\n  line\n",
                     &error),
            0)
      << error;
  std::string dump = dumpLdif(dir);
  size_t corp = dump.find("dn: o=corp\n");
  size_t a = dump.find("dn: ou=a,o=corp\n");
  size_t z = dump.find("dn: ou=z,o=corp\n");
  ASSERT_NE(corp, std::string::npos);
  EXPECT_LT(corp, a);
  EXPECT_LT(a, z);
  EXPECT_NE(dump.find("description:: IGxlYWRpbmcgYmxhbms=\ndescription: folded line\n"
                      "objectClass: organizationalUnit\nou: a\n"),
            std::string::npos)
      << dump;
  Directory again = fresh();
  ASSERT_EQ(loadLdif(&again, dump, &error), 0) << error;
  EXPECT_EQ(dumpLdif(again), dump);
}

TEST(LdifIoTest, BadInputNamesTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"dn: o=corp\nobjectClass: organization\nno colon here\n", "line 3"},
      {"dn: o=corp\nobjectClass:: !!!\n", "line 2: invalid base64"},
      {"dn: o=corp\nobjectClass:< file:///etc/passwd\n", "URL"},
      {"objectClass: top\n", "starts with"},
      {"dn: o=corp\nchangetype: add\n", "content records"},
      {"\n\ndn: ou=x,o=missing\nobjectClass: organizationalUnit\n", "line 3: entry"},
      {"dn: cn=schema\nobjectClasses: ( broken\n", "schema definition rejected"},
  };
  for (const auto& [text, expected] : cases) {
    Directory dir = fresh();
    std::string error;
    EXPECT_EQ(loadLdif(&dir, text, &error), -1) << text;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
}

TEST(LdifIoTest, SchemaRecordReplacesDefinitionsOfTheSameName) {
  Directory dir = fresh();
  std::string error;
  ASSERT_EQ(loadLdif(&dir,
                     "dn: cn=schema\nattributeTypes: ( 1.3.6.1.1.1.1.1 NAME 'gidNumber' "
                     "EQUALITY integerMatch )\n",
                     &error),
            0)
      << error;
  ASSERT_NE(dir.schema.attributeType("gidNumber"), nullptr);
  EXPECT_EQ(dir.schema.attributeType("gidNumber")->oid, "1.3.6.1.1.1.1.1");
  EXPECT_EQ(dir.schema.attributeType("1.3.6.1.4.1.32473.1.1.4.1.24"), nullptr);
}

TEST(LdifIoTest, FailedWriteKeepsTheOldFile) {
  std::string dir =
      std::filesystem::temp_directory_path() / ("ombrel-ldif-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string path = dir + "/dump.ldif";
  std::string error;
  ASSERT_EQ(writeFileAtomically(path, "old\n", &error), 0) << error;
  EXPECT_EQ(writeFileAtomically(dir + "/missing/dump.ldif", "new\n", &error), -1);
  EXPECT_NE(error.find("missing"), std::string::npos);
  if (access("/dev/full", W_OK) == 0) {
    std::filesystem::create_symlink("/dev/full", path + ".tmp." + std::to_string(getpid()));
    EXPECT_EQ(writeFileAtomically(path, std::string(1 << 16, 'x'), &error), -1);
  }
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "old\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ombrel
