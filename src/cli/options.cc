#include "cli/options.h"

#include <getopt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/run_settings.h"
#include "base/server_name.h"
#include "cli/report.h"
#include "kiv.h"

namespace {

constexpr const char* kOptionLetters = "a:p:or:w:S:R:l:ky:d:zc";
constexpr const char* kNotForSimpleAdd = "apowkz";

// Ports keep the low 16 bits of what strtol reads; no range or syntax error
// is reported.
uint16_t readPort(const char* text) {
  return static_cast<uint16_t>(strtol(text, nullptr, 10));
}

// Converts an option's argument to UTF-8; false after reporting a failure.
bool convertArgument(Host& host, const char* argument, std::optional<std::string>& target) {
  std::vector<char> utf8(kNameBufferSize);
  if (locs2utfs(utf8.data(), argument, utf8.size()) < 0) {
    host.log("Error converting local string to UTF-8 format");
    fputs(tr("Error converting local string to UTF-8 format"), stdout);
    fflush(stdout);
    return false;
  }
  target = utf8.data();
  return true;
}

// "server[:port]"; the colon before the port of a bracketed IPv6 address
// follows its closing bracket. False after reporting a name that is refused.
bool takeServer(Host& host, const char* argument) {
  std::string name = argument;
  size_t closingBracket = name.starts_with('[') ? name.find(']') : std::string::npos;
  size_t colon = name.find(':', closingBracket == std::string::npos ? 0 : closingBracket);
  if (colon != std::string::npos) {
    runSettings.ldapPort = readPort(name.c_str() + colon + 1);
    name.resize(colon);
  }
  if (!isValidServerName(name)) {
    reportInvalidServerName(host, name);
    return false;
  }
  runSettings.ldapServer = name;
  return true;
}

// Takes a secret from the command line and overwrites it there, so that the
// process list shows no password once it is read.
bool takeSecret(Host& host, char* argument, std::optional<std::string>& target) {
  bool taken = convertArgument(host, argument, target);
  for (char* byte = argument; *byte != '\0'; ++byte)
    *byte = 'x';
  return taken;
}

// Takes one option letter; returns a parser status (0, 1) for the caller.
int takeOption(Host& host, int letter, char* argument) {
  switch (letter) {
    case 'a':
      if (!convertArgument(host, argument, runSettings.adminFdn))
        return 1;
      runSettings.adminFdnLocal = argument;
      return 0;
    case 'p':
      return takeSecret(host, argument, runSettings.password) ? 0 : 1;
    case 'o':
      ++runSettings.overwriteCount;
      return 0;
    case 'r':
      if (!convertArgument(host, argument, runSettings.partitionRoot))
        return 1;
      ++runSettings.partitionRootCount;
      return 0;
    case 'w':
      if (!convertArgument(host, argument, runSettings.workstationContext))
        return 1;
      ++runSettings.workstationContextCount;
      return 0;
    case 'S':
      return takeServer(host, argument) ? 0 : 1;
    case 'R':
      runSettings.alternativeServerList = argument;
      return 0;
    case 'l':
      runSettings.sslPort = readPort(argument);
      ++runSettings.sslFlag;
      return 0;
    case 'k':  // accepted and ignored: the certificate is fetched by the -k command
      return 0;
    case 'y':
      return convertArgument(host, argument, runSettings.proxyUserFdn) ? 0 : 1;
    case 'd':
      return takeSecret(host, argument, runSettings.proxyUserPassword) ? 0 : 1;
    case 'z':
      ++runSettings.persistentCacheOffCount;
      return 0;
    case 'c':
      ++runSettings.cacheOnlyCount;
      return 0;
    default:
      printUsage(1);
  }
}

int parse(Host& host, int argc, char** argv, bool simpleAdd) {
  // 0 makes GNU getopt start afresh, which matters when a process parses
  // twice (the unit tests do).
  optind = 0;
  int letter;
  while ((letter = getopt(argc - 1, argv + 1, kOptionLetters)) != -1) {
    if (letter == '?' || letter == ':')
      printUsage(1);
    if (simpleAdd && strchr(kNotForSimpleAdd, letter) != nullptr)
      printUsage(1);
    int status = takeOption(host, letter, optarg);
    if (status != 0)
      return status;
  }
  return 0;
}

}  // namespace

int parseOptions(Host& host, int argc, char** argv) {
  return parse(host, argc, argv, false);
}

int parseSimpleAddOptions(Host& host, int argc, char** argv) {
  return parse(host, argc, argv, true);
}
