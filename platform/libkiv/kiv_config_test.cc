#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "kiv.h"
#include "kiv_test_support.h"

namespace {

using kiv_test::readWholeFile;
using kiv_test::writeWholeFile;

class KivConfigTest : public kiv_test::StoreFileTest {
 protected:
  mode_t fileMode() const {
    struct stat info {};
    EXPECT_EQ(stat(path_.c_str(), &info), 0);
    return info.st_mode & 07777;
  }
  std::string getText(const char* key, int size = 256) {
    std::string buffer(static_cast<size_t>(size), 'X');
    if (kivGetParam(key, buffer.data(), size) != 1) {
      return "<unavailable>";
    }
    return buffer.c_str();
  }
};

TEST_F(KivConfigTest, SaveKeepsEverythingItDidNotChangeInPlace) {
  writeWholeFile(path_,
                 "# written by hand\n\nunknown-key = x\nldap-port=389\n"
                 "  base-name = o=a \nbase-name=o=b\nnot a key line\n# end\n");
  int port = 636;
  ASSERT_EQ(kivSetParam("ldap-port", &port), 1);
  ASSERT_EQ(kivSetParamWithFlags("base-name", "o=c", KIV_FLAG_UTF8_DN), 1);
  ASSERT_EQ(kivSetParam("schema", "rfc2307"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_),
            "# written by hand\n\nunknown-key = x\nldap-port=636\n"
            "  base-name = o=a \nbase-name=o=c\nnot a key line\n# end\nschema=rfc2307\n");

  kivEndConfig();
  int readPort = 0;
  EXPECT_EQ(kivGetParam("ldap-port", &readPort, sizeof readPort), 1);
  EXPECT_EQ(readPort, 636);
  EXPECT_EQ(getText("unknown-key"), " x");
  EXPECT_EQ(getText("not a key line"), "<unavailable>");
}

TEST_F(KivConfigTest, LastLineWithoutLineEnd) {
  writeWholeFile(path_, "a=1");
  ASSERT_EQ(kivSetParam("a", "2"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=2");

  ASSERT_EQ(kivSetParam("b", "3"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=2\nb=3\n");
}

TEST_F(KivConfigTest, MissingFileReadsEmptyAndSaveCreatesItPrivate) {
  EXPECT_EQ(getText("preferred-server"), "<unavailable>");
  ASSERT_EQ(kivSetParam("proxy-user-pwd", "secret"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "proxy-user-pwd=secret\n");
  EXPECT_EQ(fileMode(), 0600u);
}

TEST_F(KivConfigTest, TextValueMustFitWithItsNul) {
  writeWholeFile(path_, "preferred-server=abcd\n");
  EXPECT_EQ(getText("preferred-server", 5), "abcd");
  char small[8] = "XXXXXXX";
  EXPECT_EQ(kivGetParamWithFlags("preferred-server", small, 4, KIV_FLAG_UTF8_DN), 0);
  EXPECT_STREQ(small, "XXXXXXX");
}

TEST_F(KivConfigTest, IntegerKeysParseStrictly) {
  writeWholeFile(path_,
                 "ldap-port= 389 \nnum-threads=12x\nuser-hash-size=2147483648\n"
                 "group-hash-size=-5\nt3v.qup.num-threads=+7\ntype-of-authentication=\n"
                 "schema=42\n");
  int value = 0;
  EXPECT_EQ(kivGetParam("ldap-port", &value, sizeof value), 1);
  EXPECT_EQ(value, 389);
  EXPECT_EQ(kivGetParam("ldap-port", &value, 2), 0);
  EXPECT_EQ(kivGetParam("num-threads", &value, sizeof value), 0);
  EXPECT_EQ(kivGetParam("user-hash-size", &value, sizeof value), 0);
  EXPECT_EQ(kivGetParam("type-of-authentication", &value, sizeof value), 0);
  EXPECT_EQ(kivGetParam("group-hash-size", &value, sizeof value), 1);
  EXPECT_EQ(value, -5);
  EXPECT_EQ(kivGetParam("t3v.qup.num-threads", &value, sizeof value), 1);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(getText("schema", 3), "42");

  int negative = -2147483647 - 1;
  ASSERT_EQ(kivSetParam("persistent-cache-refresh-period", &negative), 1);
  EXPECT_EQ(kivGetParam("persistent-cache-refresh-period", &value, sizeof value), 1);
  EXPECT_EQ(value, negative);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_NE(readWholeFile(path_).find("\npersistent-cache-refresh-period=-2147483648\n"),
            std::string::npos);
}

TEST_F(KivConfigTest, RefusesKeysAndValuesThatWouldNotReadBack) {
  writeWholeFile(path_, "# keep\n");
  for (const char* key : {"", "a=b", "a b", "#a", "a\nb", "a\tb"}) {
    EXPECT_EQ(kivSetParam(key, "v"), 0) << key;
  }
  EXPECT_EQ(kivSetParam("a", "x\ny"), 0);
  EXPECT_EQ(kivSetParam("a", "x\r"), 0);
  EXPECT_EQ(kivSetParam(nullptr, "x"), 0);
  EXPECT_EQ(kivSetParam("a", nullptr), 0);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "# keep\n");
}

TEST_F(KivConfigTest, EndAndSetConfigFileDropUnsavedSets) {
  writeWholeFile(path_, "a=1\n");
  ASSERT_EQ(kivSetParam("a", "2"), 1);
  kivEndConfig();
  EXPECT_EQ(getText("a"), "1");

  // A migration reads one file and writes the other.
  const std::string oldPath = dir_ + "/vrd.conf";
  writeWholeFile(oldPath, "t3v.qup.num-threads=9\n");
  kivSetConfigFile(oldPath.c_str());
  int threads = 0;
  ASSERT_EQ(kivGetParam("t3v.qup.num-threads", &threads, sizeof threads), 1);
  kivSetConfigFile(path_.c_str());
  ASSERT_EQ(kivSetParam("num-threads", &threads), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=1\nnum-threads=9\n");
  EXPECT_EQ(readWholeFile(oldPath), "t3v.qup.num-threads=9\n");
}

// A writer that saves while another holds the lock waits for it, then keeps
// what the other wrote meanwhile as well as its own sets.
TEST_F(KivConfigTest, SaveWaitsForTheLockAndKeepsTheOtherWritersChanges) {
  writeWholeFile(path_, "a=1\n");
  EXPECT_EQ(getText("a"), "1");
  ASSERT_EQ(kivSetParam("b", "2"), 1);
  int lock = open((path_ + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  int saved = 1;
  std::thread writer([&saved] { saved = kivSaveConfig(0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  writeWholeFile(path_, "a=1\nc=3\n");
  close(lock);
  writer.join();
  EXPECT_EQ(saved, 0);
  EXPECT_EQ(readWholeFile(path_), "a=1\nc=3\nb=2\n");
  EXPECT_EQ(getText("c"), "3");

  struct stat info {};
  ASSERT_EQ(stat((path_ + ".lock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// A writer killed before its rename leaves "<store>.tmp" behind; the next
// save never writes through a link found there.
TEST_F(KivConfigTest, SaveDoesNotFollowALinkAtTheTemporaryName) {
  const std::string outside = dir_ + "/outside";
  writeWholeFile(outside, "keep\n");
  writeWholeFile(path_, "a=1\n");
  ASSERT_EQ(symlink(outside.c_str(), (path_ + ".tmp").c_str()), 0);
  ASSERT_EQ(kivSetParam("a", "2"), 1);
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_), "a=2\n");
  EXPECT_EQ(readWholeFile(outside), "keep\n");
  EXPECT_EQ(directoryListing(), "kiv.conf kiv.conf.lock outside ");
}

// A full disk, simulated by a file size limit: the write of the temporary file
// fails part way.
TEST_F(KivConfigTest, FailedWriteKeepsOldFileAndLeavesNoTemporary) {
  const std::string original = "# old\nbase-name=o=old\n";
  writeWholeFile(path_, original);
  ASSERT_EQ(kivSetParam("base-name", std::string(64 * 1024, 'n').c_str()), 1);

  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  errno = 0;
  int result = kivSaveConfig(0);
  int saveErrno = errno;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  ASSERT_EQ(sigaction(SIGXFSZ, &previous, nullptr), 0);

  EXPECT_EQ(result, -1);
  EXPECT_EQ(saveErrno, EFBIG);
  EXPECT_EQ(readWholeFile(path_), original);
  EXPECT_EQ(directoryListing(), "kiv.conf kiv.conf.lock ");

  // The pending set survives the failure and a later save writes it.
  ASSERT_EQ(kivSaveConfig(0), 0);
  EXPECT_EQ(readWholeFile(path_).size(), original.size() - 5 + 64 * 1024);
}

}  // namespace
