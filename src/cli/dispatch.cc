#include "cli/dispatch.h"

#include <cstring>
#include <string>

#include "base/messages.h"
#include "base/run_settings.h"
#include "cli/options.h"
#include "cli/parameters.h"
#include "cli/prompt.h"
#include "cli/report.h"
#include "cli/simple_add.h"
#include "directory/add.h"
#include "directory/certificate_fetch.h"
#include "directory/remove.h"
#include "directory/upgrade.h"
#include "host/cache_refresh.h"

namespace {

bool isOneOf(const char* word, std::initializer_list<const char*> words) {
  for (const char* candidate : words) {
    if (strcmp(word, candidate) == 0)
      return true;
  }
  return false;
}

// Runs add, rm, upgrade or simple_add after their options are parsed.
int runConfigurationCommand(int argc, char** argv) {
  bool simpleAdd = runSettings.command == Command::kSimpleAdd;
  int status = simpleAdd ? parseSimpleAddOptions(argc, argv) : parseOptions(argc, argv);
  if (status != 0)
    exit(status);
  bool add = runSettings.command == Command::kAdd;
  if ((simpleAdd || add) && runSettings.partitionRootCount == 0) {
    runSettings.partitionRoot = promptForDirectoryName(tr("Enter KIV partition root:"));
  }
  if (add && runSettings.workstationContextCount == 0) {
    runSettings.workstationContext = promptForDirectoryName(tr("Enter workstation context:"));
  }
  switch (runSettings.command) {
    case Command::kAdd:
      return runAdd(JoinMode::kAdd);
    case Command::kUpgrade:
      return upgradeFromOldConfig();
    case Command::kRemove:
      return deconfigure();
    default:
      return runSimpleAdd();
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

int runCommandLine(int argc, char** argv) {
  classifyCommand(argc, argv);
  int code;
  std::string successDetails;
  switch (runSettings.command) {
    case Command::kFetchCertificate:
      code = fetchServerCertificate(successDetails);
      break;
    case Command::kParameters:
      parseValueList(argc, argv);
      code = runParameterCommand(nullptr, runSettings.valueListMode, runSettings.valueList, 0);
      if (code != 0)
        code = kAlreadyReported;
      break;
    case Command::kCacheRefresh:
      code = refreshCache();
      break;
    default:
      code = runConfigurationCommand(argc, argv);
      break;
  }
  return reportResult(code, successDetails);
}
