// The run settings: the one process-wide record of what the user asked for
// in this run. The front end fills it from the command line and the prompts;
// the drivers read it and fill a few missing values from the store.
#ifndef KIVCONFIG_CLI_RUN_SETTINGS_H_
#define KIVCONFIG_CLI_RUN_SETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>

enum CommandKind : int32_t {
  kCommandNone = 0,
  kCommandAdd = 1,
  kCommandRemove = 2,
  kCommandUpgrade = 3,
  kCommandSimpleAdd = 4,
};

// Directory names, the admin's name and the prompts' words are held to this
// many bytes, NUL included.
constexpr size_t kNameBufferSize = 1024;

// The value list of get and set: 63 words and a terminating null slot.
constexpr int kValueListSlots = 64;

struct RunSettings {
  int32_t commandKind = kCommandNone;
  int32_t directCommandCount = 0;
  int32_t certificateFlag = 0;
  int32_t cacheRefreshFlag = 0;

  // UTF-8 unless marked "as typed" (the local character set).
  std::optional<std::string> adminFdn;
  std::optional<std::string> adminFdnLocal;
  std::optional<std::string> password;
  std::optional<std::string> partitionRoot;
  int32_t partitionRootCount = 0;
  std::optional<std::string> workstationContext;
  int32_t workstationContextCount = 0;
  std::optional<std::string> ldapServer;  // as typed
  uint16_t ldapPort = 389;
  uint16_t sslPort = 636;
  int32_t sslFlag = 0;
  std::optional<std::string> alternativeServerList;  // as typed
  std::optional<std::string> proxyUserFdn;
  std::optional<std::string> proxyUserPassword;
  int32_t overwriteCount = 0;
  int32_t cacheOnlyCount = 0;
  int32_t persistentCacheOffCount = 0;

  char valueListMode = 'V';
  char* valueList[kValueListSlots] = {};  // points into argv
  int32_t valueCount = 0;
};

extern RunSettings runSettings;

#endif  // KIVCONFIG_CLI_RUN_SETTINGS_H_
