#include "ldif/apply.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <tuple>

#include "base/directory_test_support.h"
#include "base/result_codes.h"
#include "ldif/reader.h"

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

// The result of applying the file at `path`, and what the run prints on
// standard output and, after a "|", on standard error.
std::pair<int, std::string> applyFile(const std::string& path, RecordingDirectory& directory) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int result = applyLdifFile(path.c_str(), directory);
  std::string out = testing::internal::GetCapturedStdout() + "|";
  return {result, out + testing::internal::GetCapturedStderr()};
}

// Applies `ldif` from an in-memory file.
std::pair<int, std::string> applyText(const std::string& ldif, RecordingDirectory& directory) {
  int fd = memfd_create("ldif", MFD_CLOEXEC);
  EXPECT_EQ(write(fd, ldif.data(), ldif.size()), static_cast<ssize_t>(ldif.size()));
  auto run = applyFile("/proc/self/fd/" + std::to_string(fd), directory);
  close(fd);
  return run;
}

// What the records ask of the directory, and what the run prints.
TEST(ApplyLdifFile, RecordsBecomeRequests) {
  const std::tuple<std::string, std::string, Lines> cases[] = {
      {"dn: cn=a,o=corp\nchangetype: add\nobjectClass: top\nobjectClass: person\ncn: a\n\n"
       "dn: cn=b,o=corp\nchangetype: delete\n\n"
       "dn: cn=c,o=corp\nchangetype: modrdn\nnewrdn: cn=d\ndeleteoldrdn: 0\n\n"
       "dn: cn=d,o=corp\nchangetype: MODDN\nnewrdn: cn=e\ndeleteoldrdn: 1\nnewsuperior: o=x\n\n"
       "dn: cn=e,o=x\nchangetype: modify\ndelete: mail\n-\nreplace: sn\nsn: E\n-\n",
       "deleting entry \"cn=b,o=corp\"\n\nmodifying rdn of entry \"cn=c,o=corp\"\n\n"
       "modifying rdn of entry \"cn=d,o=corp\"\n\n|",
       {"add cn=a,o=corp objectClass=[top][person] cn=[a]", "delete cn=b,o=corp",
        "rename cn=c,o=corp cn=d - 0", "rename cn=d,o=corp cn=e o=x 1",
        "modify cn=e,o=x -mail= =sn=[E]"}},
      // Values of one attribute and operation gather in one modification;
      // without a change type all is replaced and "-" opens another block.
      {"dn: o=corp\nchangetype: modify\nadd: mail\nmail: a\n-\nreplace: MAIL\nmail: b\n-\n"
       "add: Mail\nmail: c\nmail:: AGI=\n-\nreplace: sn\nchangetype: x\n\n"
       "dn: o=corp\ncn: x\nsn: y\n-\nadd: mail\nmail: z\n\ndn: o=corp\nadd: mail\nmail: w\n",
       "|",
       {"modify o=corp +mail=[a][c][\0b] =MAIL=[b] =sn= =changetype=[x]"s,
        "modify o=corp =cn=[x] =sn=[y] +mail=[z]", "modify o=corp +mail=[w]"}},
      {"dn: o=a\r\nchangetype: modify\r\nreplace: cn\r\ncn: x\r\n-\r\n\r\ndn: o=b\r\ncn: y\r\n",
       "|",
       {"modify o=a =cn=[x]", "modify o=b =cn=[y]"}},
      {"version: 1\n\ndn: o=a\ncn: x\n", "|", {"modify o=a =cn=[x]"}},
      // The fold marker's bytes are dropped from values, folded or not.
      {"dn: o=a\ncn: a\001b\nsn: c\001\n d\n", "|", {"modify o=a =cn=[ab] =sn=[cd]"}},
      {"version: 2\nreplica: host\ndn: o=b\ncn: x\n\nversion: 1\ndn: o=c\ncn: y\n",
       "|kivconfig: invalid version 2, line 1 (ignored)\n",
       {"modify o=b =cn=[x]", "modify o=c =cn=[y]"}},
      {"version: \n", "|kivconfig: invalid version (null), line 1 (ignored)\n", {}},
  };
  for (const auto& [ldif, said, requests] : cases) {
    RecordingDirectory directory;
    EXPECT_EQ(applyText(ldif, directory), std::pair(0, said));
    EXPECT_EQ(directory.requests, requests) << ldif;
  }
}

// The diagnostic of the first malformed record, after "kivconfig: "; the
// record after it is not applied.
TEST(ApplyLdifFile, MalformedRecordsStopTheRun) {
  // A NUL byte just after the reader's first full read.
  std::string nulAfterRead = "dn: a\ncn: " + std::string(kLdifBufferSize - 11, 'x') + "\0"s;
  auto invalid = [](int line) {
    return "invalid format (line " + std::to_string(line) + ") entry: \"o=a\"";
  };
  const std::pair<std::string, std::string> cases[] = {
      {"dn: o=a\ndescription: abc\0XYZ\ntelephoneNumber: 123\n"s, invalid(2)},
      {nulAfterRead, "invalid format (line 2) entry: \"a\""},
      {"dn: o=a\nchangetype: modify\nbogus line\n", invalid(3)},
      {"dn: o=a\n-\n", invalid(2)},
      {"dn: o=a\nchangetype:  \n", invalid(2)},
      {"dn: o=a\nreplace:  \n", invalid(2)},
      {"dn: o=a\nchangetype: frob\n", " unknown changetype \"frob\" (line 2 of entry \"o=a\")"},
      {"dn: o=a\nchangetype: modify\nadd: cn\ncn: x\n-\nchangetype: frob\n",
       " unknown changetype \"frob\" (line 6 of entry \"o=a\")"},
      {"dn: o=a\nchangetype: modrdn\ndeleteoldrdn: 1\n",
       "expecting \"newrdn:\" but saw \"deleteoldrdn:\" (line 3 of entry \"o=a\")"},
      {"dn: o=a\nchangetype: modrdn\nnewrdn: o=b\nnewsuperior: o=c\n",
       "expecting \"deleteoldrdn:\" but saw \"newsuperior:\" (line 4 of entry \"o=a\")"},
      {"dn: o=a\nchangetype: modrdn\nnewrdn: o=b\ndeleteoldrdn: 1\ncn: x\n",
       "expecting \"newsuperior:\" but saw \"cn:\" (line 5 of entry \"o=a\")"},
      {"dn: o=a\nchangetype: modrdn\nnewrdn: o=b\ndeleteoldrdn: 1\nnewsuperior: o=c\ncn: x\n",
       "extra lines at end (line 6 of entry \"o=a\")"},
      {"dn: o=a\nchangetype: delete\ncn: x\n", "extra lines at end (line 3 of entry \"o=a\")"},
      {"dn: o=a\n", "no attributes to change or add (entry=\"o=a\")"},
      {"cn: x\n", "no attributes to change or add (entry=\"\")"},
      {"dn: o=a\nchangetype: add\ncn: x\nsn:  \n",
       "attribute \"sn\" has no values (entry=\"o=a\")"},
  };
  for (const auto& [ldif, message] : cases) {
    RecordingDirectory directory;
    EXPECT_EQ(applyText(ldif + "\ndn: o=later\ncn: x\n", directory),
              std::pair(89, "|kivconfig: " + message + "\n"));
    EXPECT_EQ(directory.requests, Lines{}) << message;
  }
}

// 20 and 68 let the run go on, and only the last record's answer counts;
// any other answer stops it.
TEST(ApplyLdifFile, ResultsOfTheDirectory) {
  const char* three = "dn: o=a\ncn: x\n\ndn: o=b\ncn: x\n\ndn: o=c\ncn: x\n";
  // The file, the answers for o=a, o=b and o=c, the result, the requests.
  const std::tuple<const char*, std::vector<int>, int, size_t> cases[] = {
      {three, {LDAP_TYPE_OR_VALUE_EXISTS, LDAP_ALREADY_EXISTS, 0}, 0, 3},
      {three, {0, 0, LDAP_ALREADY_EXISTS}, LDAP_ALREADY_EXISTS, 3},
      {three, {LDAP_ALREADY_EXISTS, 0, LDAP_TYPE_OR_VALUE_EXISTS}, LDAP_TYPE_OR_VALUE_EXISTS, 3},
      {three, {0, LDAP_NO_SUCH_OBJECT, 0}, LDAP_NO_SUCH_OBJECT, 2},
      // A last record of comments only is skipped, and the run succeeds.
      {"dn: o=a\ncn: x\n\n# only a comment\n", {LDAP_ALREADY_EXISTS}, 0, 1},
      {"# comment\n\n\n# another\n", {}, 0, 0},
  };
  for (const auto& [ldif, answers, result, requests] : cases) {
    RecordingDirectory directory;
    for (size_t i = 0; i < answers.size(); ++i)
      directory.reply(std::string("modify o=") + "abc"[i], answers[i]);
    EXPECT_EQ(applyText(ldif, directory).first, result) << ldif;
    EXPECT_EQ(directory.requests.size(), requests) << ldif;
  }
}

// Runs that end before any request: a file that cannot be read, one of NUL
// bytes only, which must end at once, and memory running out.
TEST(ApplyLdifFile, RunsEndedBeforeAnyRequest) {
  LdifReallocFunction failing = [](void*, size_t) -> void* {
    errno = ENOMEM;
    return nullptr;
  };
  const std::tuple<std::string, LdifReallocFunction, int, std::string> cases[] = {
      {testing::TempDir(), nullptr, 1,
       "|kivconfig: cannot read " + testing::TempDir() + ": Is a directory\n"},
      {"/dev/zero", nullptr, 89, "|kivconfig: invalid format (line 1) entry: \"\"\n"},
      {"/dev/zero", failing, kLdifOutOfMemory, "|realloc: Cannot allocate memory\n"},
  };
  for (const auto& [path, grow, result, err] : cases) {
    RecordingDirectory directory;
    setLdifRecordRealloc(grow);
    EXPECT_EQ(applyFile(path, directory), std::pair(result, err));
    setLdifRecordRealloc(nullptr);
    EXPECT_EQ(directory.requests, Lines{}) << err;
  }
}

}  // namespace
