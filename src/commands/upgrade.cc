// upgrade: a host that the older client configured joins again over its
// existing objects, and keeps the older client's cache tuning.
#include <optional>
#include <string>

#include "base/result_codes.h"
#include "commands/commands.h"
#include "commands/join.h"
#include "config/old_config.h"

namespace {

// The older client's cache, which nothing reads after the upgrade.
constexpr const char* kOldCacheFiles[] = {
    "/var/vrdqup/.user_info",
    "/var/vrdqup/.group_info",
    "/var/vrdqup/.refresh_info",
};

}  // namespace

int upgradeFromOldConfig(Host& host, DirectoryConnector& connector) {
  std::string partitionRoot;
  std::optional<std::string> server;
  int rc = readOldBaseContext(host, partitionRoot, server);
  if (rc != 0)
    return rc;
  runSettings.partitionRoot = partitionRoot;
  runSettings.ldapServer = server;
  // kivcd reads its tuning only when it starts: the values go into the
  // store before the daemons are restarted, checked before anything is
  // written.
  std::vector<StoreValue> tuning = readOldTuningValues(host);
  rc = checkNamesBeforeWriting(host, JoinMode::kUpgrade);
  if (rc == 0)
    rc = joinDirectory(host, connector, JoinMode::kUpgrade);
  if (rc == 0)
    rc = finishJoin(host, tuning);
  if (rc != 0)
    return rc;
  for (const char* file : kOldCacheFiles)
    host.removeFile(file);
  return 0;
}
