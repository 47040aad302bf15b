#include "cli/dispatch.h"

#include <cstring>

#include "cli/messages.h"
#include "cli/options.h"
#include "cli/parameters.h"
#include "cli/prompt.h"
#include "cli/report.h"
#include "cli/run_settings.h"
#include "config/client_config.h"
#include "config/upgrade.h"
#include "directory/add.h"
#include "directory/certificate.h"
#include "directory/deconfigure.h"
#include "host/local_files.h"
#include "host/services.h"

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
  bool simpleAdd = runSettings.commandKind == kCommandSimpleAdd;
  int status = simpleAdd ? parseSimpleAddOptions(argc, argv) : parseOptions(argc, argv);
  if (status != 0)
    exit(status);
  bool add = runSettings.commandKind == kCommandAdd;
  if ((simpleAdd || add) && runSettings.partitionRootCount == 0) {
    runSettings.partitionRoot = promptForDirectoryName(tr("Enter KIV partition root:"));
  }
  if (add && runSettings.workstationContextCount == 0) {
    runSettings.workstationContext = promptForDirectoryName(tr("Enter workstation context:"));
  }
  switch (runSettings.commandKind) {
    case kCommandAdd:
      return runAdd(0);
    case kCommandUpgrade:
      return upgradeFromOldConfig();
    case kCommandRemove:
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
  } else if (strcmp(word, "add") == 0) {
    runSettings.commandKind = kCommandAdd;
  } else if (strcmp(word, "upgrade") == 0) {
    runSettings.commandKind = kCommandUpgrade;
  } else if (isOneOf(word, {"rm", "remove"})) {
    runSettings.commandKind = kCommandRemove;
  } else if (strcmp(word, "-k") == 0) {
    ++runSettings.certificateFlag;
    ++runSettings.directCommandCount;
  } else if (isOneOf(word, {"set", "get"})) {
    ++runSettings.directCommandCount;
  } else if (strcmp(word, "cache_refresh") == 0) {
    ++runSettings.cacheRefreshFlag;
    ++runSettings.directCommandCount;
  } else if (strcmp(word, "simple_add") == 0) {
    runSettings.commandKind = kCommandSimpleAdd;
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

int runSimpleAdd() {
  if (writeSimpleClientConfig() != 0)
    return kAlreadyReported;
  return restartServices();
}

int runCommandLine(int argc, char** argv) {
  classifyCommand(argc, argv);
  int code;
  if (runSettings.directCommandCount == 0) {
    code = runConfigurationCommand(argc, argv);
  } else if (runSettings.certificateFlag != 0) {
    code = fetchServerCertificate();
  } else if (runSettings.cacheRefreshFlag == 0) {
    parseValueList(argc, argv);
    code = runParameterCommand(nullptr, runSettings.valueListMode, runSettings.valueList, 0);
    if (code != 0)
      code = kAlreadyReported;
  } else {
    code = refreshCache();
  }
  return reportResult(code);
}
