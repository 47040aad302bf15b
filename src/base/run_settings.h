// The run settings: the one process-wide record of what the user asked for
// in this run. The front end fills it from the command line and the prompts;
// the drivers read it and fill a few missing values from the store.
#ifndef KIVCONFIG_BASE_RUN_SETTINGS_H_
#define KIVCONFIG_BASE_RUN_SETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>

// The command word of the run.
enum class Command {
  kNone,
  kAdd,
  kRemove,
  kUpgrade,
  kSimpleAdd,
  kFetchCertificate,  // -k
  kParameters,        // get, get help, set
  kCacheRefresh,
};

// The add driver and the schema stage join a host anew or upgrade one that
// the older client configured.
enum class JoinMode { kAdd = 0, kUpgrade = 1 };

// The column of the class and attribute names of the Unix Config and
// Workstation objects: add and upgrade write the RFC 2307 names; rm takes the
// flavour the store records.
enum class SchemaFlavour { kRfc2307 = 0, kCorvex = 1 };

// Directory names, the admin's name and the prompts' words are held to this
// many bytes, NUL included.
constexpr size_t kNameBufferSize = 1024;

// The value list of get and set: 63 words and a terminating null slot.
constexpr int kValueListSlots = 64;

struct RunSettings {
  Command command = Command::kNone;

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

  SchemaFlavour schemaFlavour = SchemaFlavour::kRfc2307;

  // The server's version from its "vendorVersion", 0 when none was read.
  float serverVersion = 0;

  char valueListMode = 'V';
  char* valueList[kValueListSlots] = {};  // points into argv
  int32_t valueCount = 0;
};

extern RunSettings runSettings;

#endif  // KIVCONFIG_BASE_RUN_SETTINGS_H_
