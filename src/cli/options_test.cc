#include "cli/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "base/log.h"
#include "base/run_settings.h"
#include "cli/dispatch.h"
#include "cli/parameters.h"
#include "cli/test_command_line.h"

namespace {

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runSettings = RunSettings{};
    setLogFileForTesting(logFile_.c_str());
  }
  void TearDown() override { unlink(logFile_.c_str()); }

  std::string logFile_ = ::testing::TempDir() + "options_test.log";
};

TEST_F(OptionsTest, DefaultsStayWithoutOptions) {
  CommandLine line{"add"};
  ASSERT_EQ(parseOptions(line.argc(), line.argv()), 0);
  EXPECT_EQ(runSettings.ldapPort, 389);
  EXPECT_EQ(runSettings.sslPort, 636);
  EXPECT_EQ(runSettings.sslFlag, 0);
  EXPECT_FALSE(runSettings.ldapServer.has_value());
}

TEST_F(OptionsTest, ServerAndPorts) {
  CommandLine line{"add", "-S", "dir.example:1389", "-l", "70000"};
  ASSERT_EQ(parseOptions(line.argc(), line.argv()), 0);
  EXPECT_EQ(*runSettings.ldapServer, "dir.example");
  EXPECT_EQ(runSettings.ldapPort, 1389);
  EXPECT_EQ(runSettings.sslPort, 4464);  // only the low 16 bits remain
  EXPECT_EQ(runSettings.sslFlag, 1);

  runSettings = RunSettings{};
  CommandLine emptyPort{"add", "-S", "host:", "-l", "x"};
  ASSERT_EQ(parseOptions(emptyPort.argc(), emptyPort.argv()), 0);
  EXPECT_EQ(*runSettings.ldapServer, "host");
  EXPECT_EQ(runSettings.ldapPort, 0);
  EXPECT_EQ(runSettings.sslPort, 0);

  runSettings = RunSettings{};
  CommandLine noPort{"add", "-S", "host"};
  ASSERT_EQ(parseOptions(noPort.argc(), noPort.argv()), 0);
  EXPECT_EQ(runSettings.ldapPort, 389);
}

TEST_F(OptionsTest, PortOfABracketedAddressFollowsTheBracket) {
  const std::tuple<const char*, int, const char*, uint16_t> cases[] = {
      {"[::1]:1636", 0, "[::1]", 1636},
      {"[2001:db8::7]", 0, "[2001:db8::7]", 389},
      {"[::1]x:1", 1, "(none)", 1},
      {":1389", 1, "(none)", 1389},
  };
  for (const auto& [argument, status, server, port] : cases) {
    runSettings = RunSettings{};
    CommandLine line{"simple_add", "-S", argument};
    testing::internal::CaptureStdout();
    EXPECT_EQ(parseSimpleAddOptions(line.argc(), line.argv()), status) << argument;
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(runSettings.ldapServer.value_or("(none)"), server);
    EXPECT_EQ(runSettings.ldapPort, port) << argument;
  }
}

TEST_F(OptionsTest, RepeatedOptionsReplaceValuesAndCount) {
  CommandLine line{"add", "-r", "o=a", "-r", "o=b", "-ok", "-c", "-z", "-z", "word"};
  ASSERT_EQ(parseOptions(line.argc(), line.argv()), 0);
  EXPECT_EQ(*runSettings.partitionRoot, "o=b");
  EXPECT_EQ(runSettings.partitionRootCount, 2);
  EXPECT_EQ(runSettings.overwriteCount, 1);
  EXPECT_EQ(runSettings.cacheOnlyCount, 1);
  EXPECT_EQ(runSettings.persistentCacheOffCount, 2);
}

TEST_F(OptionsTest, AdminNameKeepsItsTypedForm) {
  CommandLine line{"rm", "-a", "cn=admin,o=corp", "-p", "secret", "-R", "a:1,b:2"};
  ASSERT_EQ(parseOptions(line.argc(), line.argv()), 0);
  EXPECT_EQ(*runSettings.adminFdn, "cn=admin,o=corp");
  EXPECT_EQ(*runSettings.adminFdnLocal, "cn=admin,o=corp");
  EXPECT_EQ(*runSettings.password, "secret");
  EXPECT_EQ(*runSettings.alternativeServerList, "a:1,b:2");
}

TEST_F(OptionsTest, FailedConversionStopsParsing) {
  // The tests run in the C locale, where a byte above 0x7f is no character.
  CommandLine line{"rm", "-a", "cn=\xe9", "-r", "o=later"};
  EXPECT_EQ(parseOptions(line.argc(), line.argv()), 1);
  EXPECT_FALSE(runSettings.partitionRoot.has_value());
}

TEST_F(OptionsTest, OverlongArgumentIsRefusedNotCut) {
  std::string longName(2000, 'x');
  CommandLine line{"add", "-r", longName};
  EXPECT_EQ(parseOptions(line.argc(), line.argv()), 1);
  EXPECT_FALSE(runSettings.partitionRoot.has_value());
}

TEST_F(OptionsTest, SimpleAddTakesItsOwnLetters) {
  CommandLine line{"simple_add", "-c", "-r", "o=corp", "-y", "cn=p", "-d", "pw"};
  ASSERT_EQ(parseSimpleAddOptions(line.argc(), line.argv()), 0);
  EXPECT_EQ(runSettings.cacheOnlyCount, 1);
  EXPECT_EQ(*runSettings.proxyUserFdn, "cn=p");
}

TEST_F(OptionsTest, CommandWordsRecognised) {
  CommandLine remove{"rm", "remove"};
  EXPECT_EQ(classifyCommand(remove.argc(), remove.argv()), 0);
  EXPECT_EQ(runSettings.command, Command::kRemove);
  CommandLine refresh{"cache_refresh", "cache_refresh"};
  EXPECT_EQ(classifyCommand(refresh.argc(), refresh.argv()), 0);
  EXPECT_EQ(runSettings.command, Command::kCacheRefresh);
}

// The front end up to the end of option parsing, in a child that exits.
[[noreturn]] void parseCommandLine(const char* command, const char* word) {
  runSettings = RunSettings{};
  CommandLine line = word != nullptr ? CommandLine{command, word} : CommandLine{command};
  classifyCommand(line.argc(), line.argv());
  if (runSettings.command == Command::kParameters) {
    parseValueList(line.argc(), line.argv());
  } else if (runSettings.command == Command::kSimpleAdd) {
    parseSimpleAddOptions(line.argc(), line.argv());
  } else {
    parseOptions(line.argc(), line.argv());
  }
  exit(99);
}

// A refused command line exits with 1, so that a script tells a typo from a
// command that ran; asked-for help and the version exit with 0.
TEST(CommandLineDeathTest, ExitStatusOfHelpVersionAndRefusedLines) {
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"--help", nullptr, 0, ""},
      {"--version", nullptr, 0, ""},
      {"add", "-x", 1, "invalid option -- 'x'\nUsage:"},
      {"add", "-r", 1, "requires an argument -- 'r'\nUsage:"},
      {"simple_add", "-o", 1, "^Usage:"},
      {"get", "a=1", 1, "^Usage:"},
  };
  for (const auto& [command, word, status, diagnostic] : cases) {
    EXPECT_EXIT(parseCommandLine(command, word), testing::ExitedWithCode(status), diagnostic)
        << command << " " << (word != nullptr ? word : "");
  }
}

}  // namespace
