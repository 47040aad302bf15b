#include "cli/dispatch.h"

#include <cstring>
#include <string>

#include "base/messages.h"
#include "base/run_settings.h"
#include "cli/options.h"
#include "cli/parameters.h"
#include "cli/prompt.h"
#include "cli/report.h"
#include "commands/commands.h"
#include "directory/ldap_session.h"

namespace {

bool isOneOf(const char* word, std::initializer_list<const char*> words) {
  for (const char* candidate : words) {
    if (strcmp(word, candidate) == 0)
      return true;
  }
  return false;
}

// Runs add, rm, upgrade or simple_add after their options are parsed.
int runConfigurationCommand(Host& host, DirectoryConnector& connector, int argc, char** argv) {
  bool simpleAdd = runSettings.command == Command::kSimpleAdd;
  int status = simpleAdd ? parseSimpleAddOptions(host, argc, argv) : parseOptions(host, argc, argv);
  if (status != 0)
    exit(status);
  // The proxy password takes the admin password's route: the environment,
  // so that it need not be given on the command line.
  if (runSettings.proxyUserFdn && !runSettings.proxyUserPassword)
    runSettings.proxyUserPassword = host.environmentValue("PELK_PROXY_PWD");
  bool add = runSettings.command == Command::kAdd;
  if ((simpleAdd || add) && runSettings.partitionRootCount == 0) {
    runSettings.partitionRoot = promptForDirectoryName(host, tr("Enter KIV partition root:"));
  }
  if (add && runSettings.workstationContextCount == 0) {
    runSettings.workstationContext = promptForDirectoryName(host, tr("Enter workstation context:"));
  }
  switch (runSettings.command) {
    case Command::kAdd:
      return runAdd(host, connector);
    case Command::kUpgrade:
      return upgradeFromOldConfig(host, connector);
    case Command::kRemove:
      return deconfigure(host, connector);
    default:
      return runSimpleAdd(host);
  }
}

}  // namespace

int classifyCommand(int argc, char** argv) {
  if (argc < 2)
    printUsage(1);
  const char* word = argv[1];
  if (isOneOf(word, {"-?", "--h", "--he", "--hel", "--help"})) {
    printUsage(0);
  } else if (strcmp(word, "--version") == 0) {
    printVersion();
  } else if (strcmp(word, "add") == 0) {
    runSettings.command = Command::kAdd;
  } else if (strcmp(word, "upgrade") == 0) {
    runSettings.command = Command::kUpgrade;
  } else if (isOneOf(word, {"rm", "remove"})) {
    runSettings.command = Command::kRemove;
  } else if (strcmp(word, "-k") == 0) {
    runSettings.command = Command::kFetchCertificate;
  } else if (isOneOf(word, {"set", "get"})) {
    runSettings.command = Command::kParameters;
  } else if (strcmp(word, "cache_refresh") == 0) {
    runSettings.command = Command::kCacheRefresh;
  } else if (strcmp(word, "simple_add") == 0) {
    runSettings.command = Command::kSimpleAdd;
  } else {
    printUsage(1);
  }
  for (int i = 2; i < argc; ++i) {
    if (isOneOf(argv[i], {"add", "rm", "upgrade", "-k", "set", "get", "simple_add"})) {
      printUsage(1);
    }
  }
  return 0;
}

int runCommandLine(Host& host, int argc, char** argv) {
  classifyCommand(argc, argv);
  LdapConnector connector(host);
  int code;
  std::string successDetails;
  switch (runSettings.command) {
    case Command::kFetchCertificate:
      code = fetchServerCertificate(host, connector, successDetails);
      break;
    case Command::kParameters:
      parseValueList(argc, argv);
      code = runParameterCommand(host, runSettings.valueListMode, runSettings.valueList);
      break;
    case Command::kCacheRefresh:
      code = refreshCache(host);
      break;
    default:
      code = runConfigurationCommand(host, connector, argc, argv);
      break;
  }
  return reportResult(host, code, successDetails);
}
