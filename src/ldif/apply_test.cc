#include "ldif/apply.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/directory_test_support.h"
#include "base/result_codes.h"
#include "ldif/reader.h"

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

struct ApplyRun {
  int result;
  std::string out;
  std::string err;
};

ApplyRun applyText(const std::string& ldif, RecordingDirectory& directory) {
  std::string path = testing::TempDir() + "apply_test_" + std::to_string(getpid()) + ".ldif";
  std::ofstream(path, std::ios::binary) << ldif;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int result = applyLdifFile(path.c_str(), directory);
  ApplyRun run{result, testing::internal::GetCapturedStdout(),
               testing::internal::GetCapturedStderr()};
  unlink(path.c_str());
  return run;
}

TEST(ApplyLdifFile, RecordsBecomeRequests) {
  struct Case {
    std::string ldif;
    Lines requests;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"dn: cn=a,o=corp\nchangetype: add\nobjectClass: top\nobjectClass: person\ncn: a\n\n"
       "dn: cn=b,o=corp\nchangetype: delete\n\n"
       "dn: cn=c,o=corp\nchangetype: modrdn\nnewrdn: cn=d\ndeleteoldrdn: 0\n\n"
       "dn: cn=d,o=corp\nchangetype: MODDN\nnewrdn: cn=e\ndeleteoldrdn: 1\nnewsuperior: o=x\n\n"
       "dn: cn=e,o=x\nchangetype: modify\ndelete: mail\n-\nreplace: sn\nsn: E\n-\n",
       {"add cn=a,o=corp objectClass=[top][person] cn=[a]", "delete cn=b,o=corp",
        "rename cn=c,o=corp cn=d - 0", "rename cn=d,o=corp cn=e o=x 1",
        "modify cn=e,o=x -mail= =sn=[E]"},
       "deleting entry \"cn=b,o=corp\"\n\nmodifying rdn of entry \"cn=c,o=corp\"\n\n"
       "modifying rdn of entry \"cn=d,o=corp\"\n\n",
       ""},
      // Values of one attribute and operation gather in one modification;
      // without a change type every attribute is replaced and "-" opens
      // another block.
      {"dn: o=corp\nchangetype: modify\nadd: mail\nmail: a\n-\nreplace: MAIL\nmail: b\n-\n"
       "add: Mail\nmail: c\nmail:: AGI=\n-\nreplace: sn\nchangetype: x\n\n"
       "dn: o=corp\ncn: x\nsn: y\n-\nadd: mail\nmail: z\n\n"
       "dn: o=corp\nadd: mail\nmail: w\n",
       {"modify o=corp +mail=[a][c][\0b] =MAIL=[b] =sn= =changetype=[x]"s,
        "modify o=corp =cn=[x] =sn=[y] +mail=[z]", "modify o=corp +mail=[w]"},
       "",
       ""},
      {"dn: o=a\r\nchangetype: modify\r\nreplace: cn\r\ncn: x\r\n-\r\n\r\ndn: o=b\r\ncn: y\r\n",
       {"modify o=a =cn=[x]", "modify o=b =cn=[y]"},
       "",
       ""},
      {"version: 1\n\ndn: o=a\ncn: x\n", {"modify o=a =cn=[x]"}, "", ""},
      // Bytes of the fold marker's value are dropped from values, folded or
      // not.
      {"dn: o=a\ncn: a\x01"
       "b\nsn: c\x01\n d\n",
       {"modify o=a =cn=[ab] =sn=[cd]"},
       "",
       ""},
      {"version: 2\nreplica: host\ndn: o=b\ncn: x\n\nversion: 1\ndn: o=c\ncn: y\n",
       {"modify o=b =cn=[x]", "modify o=c =cn=[y]"},
       "",
       "kivconfig: invalid version 2, line 1 (ignored)\n"},
      {"version: \n", {}, "", "kivconfig: invalid version (null), line 1 (ignored)\n"},
      // A line of any length stays inside its record.
      {"dn: o=a\nchangetype: add\ncn: " + std::string(4091, 'x') + "\nsn: y\n",
       {"add o=a cn=[" + std::string(4091, 'x') + "] sn=[y]"},
       "",
       ""},
  };
  for (const Case& c : cases) {
    RecordingDirectory directory;
    ApplyRun run = applyText(c.ldif, directory);
    EXPECT_EQ(run.result, 0) << c.ldif;
    EXPECT_EQ(directory.requests, c.requests) << c.ldif;
    EXPECT_EQ(run.out, c.out) << c.ldif;
    EXPECT_EQ(run.err, c.err) << c.ldif;
  }
}

TEST(ApplyLdifFile, MalformedRecordsStopTheRun) {
  struct Case {
    std::string ldif;
    std::string message;
  };
  const Case cases[] = {
      {"dn: o=a\ndescription: abc\0XYZ\ntelephoneNumber: 123\n"s,
       "kivconfig: invalid format (line 2) entry: \"o=a\"\n"},
      {"# \0\ndn: o=a\ncn: x\n"s, "kivconfig: invalid format (line 1) entry: \"\"\n"},
      {"dn: o=a\nchangetype: modify\nbogus line\n",
       "kivconfig: invalid format (line 3) entry: \"o=a\"\n"},
      {"dn: o=a\n-\n", "kivconfig: invalid format (line 2) entry: \"o=a\"\n"},
      {"dn: o=a\ncn:: Zm9\n", "kivconfig: invalid format (line 2) entry: \"o=a\"\n"},
      {"dn: o=a\nchangetype: frob\n",
       "kivconfig:  unknown changetype \"frob\" (line 2 of entry \"o=a\")\n"},
      {"dn: o=a\nchangetype: modify\nadd: cn\ncn: x\n-\nchangetype: frob\n",
       "kivconfig:  unknown changetype \"frob\" (line 6 of entry \"o=a\")\n"},
      {"dn: o=a\nchangetype: modrdn\ndeleteoldrdn: 1\n",
       "kivconfig: expecting \"newrdn:\" but saw \"deleteoldrdn:\" (line 3 of entry \"o=a\")\n"},
      {"dn: o=a\nchangetype: modrdn\nnewrdn: o=b\nnewsuperior: o=c\n",
       "kivconfig: expecting \"deleteoldrdn:\" but saw \"newsuperior:\" (line 4 of entry "
       "\"o=a\")\n"},
      {"dn: o=a\nchangetype: modrdn\nnewrdn: o=b\ndeleteoldrdn: 1\ncn: x\n",
       "kivconfig: expecting \"newsuperior:\" but saw \"cn:\" (line 5 of entry \"o=a\")\n"},
      {"dn: o=a\nchangetype: modrdn\nnewrdn: o=b\ndeleteoldrdn: 1\nnewsuperior: o=c\ncn: x\n",
       "kivconfig: extra lines at end (line 6 of entry \"o=a\")\n"},
      {"dn: o=a\nchangetype: delete\ncn: x\n",
       "kivconfig: extra lines at end (line 3 of entry \"o=a\")\n"},
      {"dn: o=a\n", "kivconfig: no attributes to change or add (entry=\"o=a\")\n"},
      {"cn: x\n", "kivconfig: no attributes to change or add (entry=\"\")\n"},
      {"dn: o=a\nchangetype: add\ncn: x\nsn:  \n",
       "kivconfig: attribute \"sn\" has no values (entry=\"o=a\")\n"},
      {"dn: o=a\nchangetype:  \n", "kivconfig: invalid format (line 2) entry: \"o=a\"\n"},
      {"dn: o=a\nreplace:  \n", "kivconfig: invalid format (line 2) entry: \"o=a\"\n"},
  };
  for (const Case& c : cases) {
    RecordingDirectory directory;
    ApplyRun run = applyText(c.ldif + "\ndn: o=later\ncn: x\n", directory);
    EXPECT_EQ(run.result, 89) << c.ldif;
    EXPECT_EQ(run.err, c.message) << c.ldif;
    EXPECT_EQ(directory.requests, Lines{}) << c.ldif;
  }
}

// 20 and 68 let the run go on, and only the last record's answer counts;
// any other answer stops it.
TEST(ApplyLdifFile, ResultsOfTheDirectory) {
  struct Case {
    const char* ldif;
    std::vector<int> answers;  // for o=a, o=b, o=c
    int result;
    size_t requests;
  };
  const char* three = "dn: o=a\ncn: x\n\ndn: o=b\ncn: x\n\ndn: o=c\ncn: x\n";
  const Case cases[] = {
      {three, {LDAP_TYPE_OR_VALUE_EXISTS, LDAP_ALREADY_EXISTS, 0}, 0, 3},
      {three, {0, 0, LDAP_ALREADY_EXISTS}, LDAP_ALREADY_EXISTS, 3},
      {three, {LDAP_ALREADY_EXISTS, 0, LDAP_TYPE_OR_VALUE_EXISTS}, LDAP_TYPE_OR_VALUE_EXISTS, 3},
      {three, {0, LDAP_NO_SUCH_OBJECT, 0}, LDAP_NO_SUCH_OBJECT, 2},
      // A last record of comments only is skipped, and the run succeeds.
      {"dn: o=a\ncn: x\n\n# only a comment\n", {LDAP_ALREADY_EXISTS}, 0, 1},
      {"# comment\n\n\n# another\n", {}, 0, 0},
  };
  for (const Case& c : cases) {
    RecordingDirectory directory;
    const char* dns[] = {"modify o=a", "modify o=b", "modify o=c"};
    for (size_t i = 0; i < c.answers.size(); ++i)
      directory.reply(dns[i], c.answers[i]);
    EXPECT_EQ(applyText(c.ldif, directory).result, c.result) << c.ldif;
    EXPECT_EQ(directory.requests.size(), c.requests) << c.ldif;
  }
}

// Files that end the run before any request: one that cannot be read, and
// one of NUL bytes only, which must end at once.
TEST(ApplyLdifFile, UnreadableAndDamagedFiles) {
  std::string directoryPath = testing::TempDir();
  struct Case {
    std::string path;
    int result;
    std::string err;
  };
  const Case cases[] = {
      {directoryPath, 1, "kivconfig: cannot read " + directoryPath + ": Is a directory\n"},
      {"/dev/zero", 89, "kivconfig: invalid format (line 1) entry: \"\"\n"},
  };
  for (const Case& c : cases) {
    RecordingDirectory directory;
    testing::internal::CaptureStderr();
    EXPECT_EQ(applyLdifFile(c.path.c_str(), directory), c.result) << c.path;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.path;
    EXPECT_EQ(directory.requests, Lines{}) << c.path;
  }
}

void* failingRealloc(void*, size_t) {
  return nullptr;
}

TEST(ApplyLdifFile, RunningOutOfMemoryFails) {
  RecordingDirectory directory;
  setLdifRecordRealloc(failingRealloc);
  ApplyRun run = applyText("dn: o=a\ncn: x\n", directory);
  setLdifRecordRealloc(nullptr);
  EXPECT_EQ(run.result, kLdifOutOfMemory);
  EXPECT_EQ(run.err.rfind("realloc: ", 0), 0u) << run.err;
  EXPECT_EQ(directory.requests, Lines{});
}

}  // namespace
