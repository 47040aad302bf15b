#include "ldif/apply.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "ldif/reader.h"

namespace {

struct SentModification {
  int operation;
  std::string attribute;
  std::optional<std::vector<std::string>> values;  // nullopt: no value array sent
  bool operator==(const SentModification&) const = default;
};

struct Request {
  std::string kind;
  std::string dn;
  std::vector<SentModification> modifications;
  std::string newRdn;
  std::optional<std::string> newSuperior;
  int deleteOldRdn = -1;
};

// Records what would be sent and answers with `answers` in turn (0 after).
struct FakeDirectory {
  std::vector<Request> requests;
  std::vector<int> answers;

  int answer(Request request) {
    requests.push_back(std::move(request));
    size_t index = requests.size() - 1;
    return index < answers.size() ? answers[index] : 0;
  }
};

std::vector<SentModification> copyModifications(LDAPMod** mods) {
  std::vector<SentModification> copies;
  for (; *mods != nullptr; ++mods) {
    SentModification copy{(*mods)->mod_op, (*mods)->mod_type, std::nullopt};
    if ((*mods)->mod_bvalues != nullptr) {
      copy.values.emplace();
      for (berval** value = (*mods)->mod_bvalues; *value != nullptr; ++value) {
        copy.values->emplace_back((*value)->bv_val, (*value)->bv_len);
      }
    }
    copies.push_back(std::move(copy));
  }
  return copies;
}

// The directory requests the processor sends, recorded by a FakeDirectory.
class FakeRequests : public DirectoryRequests {
 public:
  explicit FakeRequests(FakeDirectory* directory) : directory_(directory) {}
  int bind(const std::string&, const std::string&) override { return 0; }
  int search(const std::string&, SearchScope, const std::string&, const std::vector<std::string>&,
             std::vector<DirectoryEntry>&) override {
    return 0;
  }
  int add(const std::string& dn, LDAPMod** mods) override {
    return directory_->answer({"add", dn, copyModifications(mods), "", std::nullopt, -1});
  }
  int modify(const std::string& dn, LDAPMod** mods) override {
    return directory_->answer({"modify", dn, copyModifications(mods), "", std::nullopt, -1});
  }
  int remove(const std::string& dn) override {
    return directory_->answer({"delete", dn, {}, "", std::nullopt, -1});
  }
  int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
             bool deleteOldRdn) override {
    std::optional<std::string> superior;
    if (newSuperior != nullptr)
      superior = newSuperior;
    return directory_->answer({"rename", dn, {}, newRdn, superior, deleteOldRdn ? 1 : 0});
  }
  int extendedOperation(const std::string&, const std::string&) override { return 0; }
  int readSchemaNames(SchemaElementKind, std::vector<std::string>&) override { return 0; }
  int refreshServer() override { return 0; }

 private:
  FakeDirectory* directory_;
};

constexpr int kAdd = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
constexpr int kDelete = LDAP_MOD_DELETE | LDAP_MOD_BVALUES;
constexpr int kReplace = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
using Values = std::vector<std::string>;

struct ApplyRun {
  int result;
  std::string out;
  std::string err;
};

ApplyRun applyText(const std::string& ldif, FakeDirectory* directory) {
  std::string path = testing::TempDir() + "apply_test_" + std::to_string(getpid()) + ".ldif";
  std::ofstream(path, std::ios::binary) << ldif;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  FakeRequests requests(directory);
  int result = applyLdifFile(path.c_str(), requests);
  ApplyRun run{result, testing::internal::GetCapturedStdout(),
               testing::internal::GetCapturedStderr()};
  unlink(path.c_str());
  return run;
}

TEST(ApplyLdifFile, ChangeTypes) {
  FakeDirectory directory;
  ApplyRun run = applyText(
      "dn: cn=a,o=corp\nchangetype: add\nobjectClass: top\nobjectClass: person\ncn: a\n\n"
      "dn: cn=b,o=corp\nchangetype: delete\n\n"
      "dn: cn=c,o=corp\nchangetype: modrdn\nnewrdn: cn=d\ndeleteoldrdn: 0\n\n"
      "dn: cn=d,o=corp\nchangetype: MODDN\nnewrdn: cn=e\ndeleteoldrdn: 1\nnewsuperior: o=x\n\n"
      "dn: cn=e,o=x\nchangetype: modify\ndelete: mail\n-\nreplace: sn\nsn: E\n-\n",
      &directory);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.out,
            "deleting entry \"cn=b,o=corp\"\n\nmodifying rdn of entry \"cn=c,o=corp\"\n\n"
            "modifying rdn of entry \"cn=d,o=corp\"\n\n");
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(directory.requests.size(), 5u);
  EXPECT_EQ(directory.requests[0].kind, "add");
  EXPECT_EQ(directory.requests[0].modifications,
            (std::vector<SentModification>{{kAdd, "objectClass", Values{"top", "person"}},
                                           {kAdd, "cn", Values{"a"}}}));
  EXPECT_EQ(directory.requests[1].kind, "delete");
  EXPECT_EQ(directory.requests[1].dn, "cn=b,o=corp");
  EXPECT_EQ(directory.requests[2].newRdn, "cn=d");
  EXPECT_EQ(directory.requests[2].newSuperior, std::nullopt);
  EXPECT_EQ(directory.requests[2].deleteOldRdn, 0);
  EXPECT_EQ(directory.requests[3].newSuperior, "o=x");
  EXPECT_EQ(directory.requests[3].deleteOldRdn, 1);
  EXPECT_EQ(directory.requests[4].kind, "modify");
  EXPECT_EQ(directory.requests[4].modifications,
            (std::vector<SentModification>{{kDelete, "mail", std::nullopt},
                                           {kReplace, "sn", Values{"E"}}}));
}

TEST(ApplyLdifFile, ModifyBlocks) {
  FakeDirectory directory;
  ApplyRun run = applyText(
      "dn: o=corp\nchangetype: modify\nadd: mail\nmail: a\n-\nreplace: MAIL\nmail: b\n-\n"
      "add: Mail\nmail: c\nmail:: AGI=\n-\nreplace: sn\nchangetype: x\n\n"
      // Without a change type every attribute is replaced; "-" then opens
      // another block.
      "dn: o=corp\ncn: x\nsn: y\n-\nadd: mail\nmail: z\n\n"
      "dn: o=corp\nadd: mail\nmail: w\n",
      &directory);
  EXPECT_EQ(run.result, 0) << run.err;
  ASSERT_EQ(directory.requests.size(), 3u);
  EXPECT_EQ(directory.requests[0].modifications,
            (std::vector<SentModification>{{kAdd, "mail", Values{"a", "c", std::string("\0b", 2)}},
                                           {kReplace, "MAIL", Values{"b"}},
                                           {kReplace, "sn", std::nullopt},
                                           {kReplace, "changetype", Values{"x"}}}));
  EXPECT_EQ(directory.requests[1].kind, "modify");
  EXPECT_EQ(directory.requests[1].modifications,
            (std::vector<SentModification>{{kReplace, "cn", Values{"x"}},
                                           {kReplace, "sn", Values{"y"}},
                                           {kAdd, "mail", Values{"z"}}}));
  EXPECT_EQ(directory.requests[2].modifications,
            (std::vector<SentModification>{{kAdd, "mail", Values{"w"}}}));
}

TEST(ApplyLdifFile, VersionAndReplicaLines) {
  FakeDirectory directory;
  ApplyRun run = applyText("version: 1\n\ndn: o=a\ncn: x\n", &directory);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(directory.requests.size(), 1u);

  run = applyText("version: 2\nreplica: host\ndn: o=b\ncn: x\n\nversion: 1\ndn: o=c\ncn: y\n",
                  &directory);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.err, "kivconfig: invalid version 2, line 1 (ignored)\n");
  ASSERT_EQ(directory.requests.size(), 3u);
  EXPECT_EQ(directory.requests[1].dn, "o=b");
  EXPECT_EQ(directory.requests[2].dn, "o=c");

  run = applyText("version: \n", &directory);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.err, "kivconfig: invalid version (null), line 1 (ignored)\n");
  EXPECT_EQ(directory.requests.size(), 3u);
}

TEST(ApplyLdifFile, MalformedRecordsStopTheRun) {
  struct Case {
    const char* ldif;
    const char* message;
  };
  const Case cases[] = {
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
    FakeDirectory directory;
    ApplyRun run = applyText(std::string(c.ldif) + "\ndn: o=later\ncn: x\n", &directory);
    EXPECT_EQ(run.result, 89) << c.ldif;
    EXPECT_EQ(run.err, c.message) << c.ldif;
    EXPECT_TRUE(directory.requests.empty()) << c.ldif;
  }
}

TEST(ApplyLdifFile, ResultsOfTheDirectory) {
  const std::string three = "dn: o=a\ncn: x\n\ndn: o=b\ncn: x\n\ndn: o=c\ncn: x\n";
  struct Case {
    std::vector<int> answers;
    int result;
    size_t requests;
  };
  const Case cases[] = {
      {{LDAP_TYPE_OR_VALUE_EXISTS, LDAP_ALREADY_EXISTS, 0}, 0, 3},
      {{0, 0, LDAP_ALREADY_EXISTS}, LDAP_ALREADY_EXISTS, 3},
      {{LDAP_ALREADY_EXISTS, 0, LDAP_TYPE_OR_VALUE_EXISTS}, LDAP_TYPE_OR_VALUE_EXISTS, 3},
      {{0, LDAP_NO_SUCH_OBJECT, 0}, LDAP_NO_SUCH_OBJECT, 2},
  };
  for (const Case& c : cases) {
    FakeDirectory directory;
    directory.answers = c.answers;
    EXPECT_EQ(applyText(three, &directory).result, c.result);
    EXPECT_EQ(directory.requests.size(), c.requests);
  }
  // A skipped last record (comments only) makes the run succeed.
  FakeDirectory directory;
  directory.answers = {LDAP_ALREADY_EXISTS};
  EXPECT_EQ(applyText("dn: o=a\ncn: x\n\n# only a comment\n", &directory).result, 0);
  EXPECT_EQ(applyText("# comment\n\n\n# another\n", &directory).result, 0);
}

TEST(ApplyLdifFile, FileErrors) {
  FakeDirectory directory;
  testing::internal::CaptureStderr();
  FakeRequests requests(&directory);
  EXPECT_EQ(applyLdifFile("/nonexistent/file.ldif", requests), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "/nonexistent/file.ldif: No such file or directory\n");
}

void* failingRealloc(void*, size_t) {
  return nullptr;
}

TEST(ApplyLdifFile, RunningOutOfMemoryFails) {
  FakeDirectory directory;
  setLdifRecordRealloc(failingRealloc);
  ApplyRun run = applyText("dn: o=a\ncn: x\n", &directory);
  setLdifRecordRealloc(nullptr);
  EXPECT_EQ(run.result, kLdifOutOfMemory);
  EXPECT_TRUE(directory.requests.empty());
}

TEST(ApplyLdifFile, CarriageReturnLineEnds) {
  FakeDirectory directory;
  ApplyRun run = applyText(
      "dn: o=a\r\nchangetype: modify\r\nreplace: cn\r\ncn: x\r\n-\r\n\r\n"
      "dn: o=b\r\ncn: y\r\n",
      &directory);
  EXPECT_EQ(run.result, 0) << run.err;
  ASSERT_EQ(directory.requests.size(), 2u);
  EXPECT_EQ(directory.requests[0].modifications,
            (std::vector<SentModification>{{kReplace, "cn", Values{"x"}}}));
  EXPECT_EQ(directory.requests[1].dn, "o=b");
}

}  // namespace
