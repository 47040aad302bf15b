#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "base/host_test_support.h"
#include "base/run_settings.h"
#include "cli/dispatch.h"
#include "cli/test_command_line.h"

namespace {

// The run settings in short: the values present, then the ports, the SSL
// flag and the counts of -r, -w, -o, -c and -z.
std::string settings() {
  const RunSettings& s = runSettings;
  std::ostringstream out;
  std::istringstream names("a al p r w S R y d");
  for (const std::optional<std::string>& value :
       {s.adminFdn, s.adminFdnLocal, s.password, s.partitionRoot, s.workstationContext,
        s.ldapServer, s.alternativeServerList, s.proxyUserFdn, s.proxyUserPassword}) {
    std::string name;
    names >> name;
    if (value)
      out << name << "=" << *value << " ";
  }
  out << s.ldapPort << " " << s.sslPort << "/" << s.sslFlag << " " << s.partitionRootCount
      << s.workstationContextCount << s.overwriteCount << s.cacheOnlyCount
      << s.persistentCacheOffCount;
  return out.str();
}

TEST(Options, TakenIntoTheRunSettings) {
  auto refused = [](const std::string& name) {
    return "The LDAP server name \"" + name +
           "\" is not valid: give a host name, an IPv4 address or an IPv6 address in brackets\n";
  };
  const std::string unconverted = "Error converting local string to UTF-8 format";
  struct Row {
    int status;
    std::string settings;
    std::string said;  // printed, and logged alike
    std::vector<std::string> words;
  };
  Row rows[] = {
      // Ports keep the low 16 bits of what strtol reads.
      {0, "S=dir.example 1389 4464/1 00000", "", {"add", "-S", "dir.example:1389", "-l", "70000"}},
      {0, "S=host 0 0/1 00000", "", {"add", "-S", "host:", "-l", "x"}},
      {0, "S=[::1] 1636 636/0 00000", "", {"simple_add", "-S", "[::1]:1636"}},
      {0, "S=[2001:db8::7] 389 636/0 00000", "", {"simple_add", "-S", "[2001:db8::7]"}},
      // The port follows a closing bracket; what stays must be a server name.
      {1, "1 636/0 00000", refused("[::1]x"), {"simple_add", "-S", "[::1]x:1"}},
      {1, "1389 636/0 00000", refused(""), {"simple_add", "-S", ":1389", "-r", "o=later"}},
      // Repeated options replace values and count; -k is taken and ignored.
      {0, "r=b w=w 389 636/0 21112", "", {"add", "-ra", "-r", "b", "-okc", "-zz", "x", "-ww"}},
      {0, "a=cn=a al=cn=a p=pw R=a:1,b 389 636/0 00000", "", {"rm", "-acn=a", "-ppw", "-Ra:1,b"}},
      {0, "r=o y=cn=p d=pw 389 636/0 10010", "", {"simple_add", "-c", "-ro", "-ycn=p", "-dpw"}},
      {0, "p=pw d=pw 389 636/0 00000", "", {"add", "-p", "pw", "-d", "pw"}},
      // The tests run in the C locale, where a byte above 0x7f is no
      // character; a failed conversion stops the parsing.
      {1, "389 636/0 00000", unconverted, {"rm", "-a", "cn=\xe9", "-r", "o=later"}},
      {1, "389 636/0 00000", unconverted, {"add", "-r", std::string(kNameBufferSize, 'x')}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.words.back());
    runSettings = RunSettings{};
    RecordingHost host;
    // Once read, no secret shows in the process list: each "pw" reads "xx".
    std::vector<std::string> shown = row.words;
    for (std::string& word : shown) {
      for (size_t at; (at = word.find("pw")) != std::string::npos;)
        word.replace(at, 2, "xx");
    }
    std::vector<char*> argv = argvOf(row.words);
    auto parse = row.words[0] == "simple_add" ? parseSimpleAddOptions : parseOptions;
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse(host, static_cast<int>(argv.size() - 1), argv.data()), row.status);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.said);
    EXPECT_EQ(host.logLines, row.said.empty() ? Lines{} : Lines{row.said});
    EXPECT_EQ(settings(), row.settings);
    EXPECT_EQ(row.words, shown);
  }
}

// A refused command line exits with 1, so that a script tells a typo from a
// command that ran; asked-for help and the version exit with 0.
TEST(CommandLineDeathTest, ExitStatusOfHelpVersionAndRefusedLines) {
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{"--help"}, 0, ""},
      {{"--version"}, 0, ""},
      {{"add", "-x"}, 1, "invalid option -- 'x'\nUsage:"},
      {{"add", "-r"}, 1, "requires an argument -- 'r'\nUsage:"},
      {{"simple_add", "-o"}, 1, "^Usage:"},
      {{"get", "a=1"}, 1, "^Usage:"},
  };
  for (auto [words, status, diagnostic] : cases) {
    runSettings = RunSettings{};
    RecordingHost host;
    std::vector<char*> argv = argvOf(words);
    EXPECT_EXIT(runCommandLine(host, static_cast<int>(argv.size()) - 1, argv.data()),
                testing::ExitedWithCode(status), diagnostic)
        << words.back();
  }
}

}  // namespace
