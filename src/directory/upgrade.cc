#include "directory/upgrade.h"

#include <unistd.h>

#include "base/result_codes.h"
#include "base/run_settings.h"
#include "config/old_config.h"
#include "directory/add.h"
#include "host/services.h"

namespace {

// The older client's cache, which nothing reads after the upgrade.
constexpr const char* kOldCacheFiles[] = {
    "/var/vrdqup/.user_info",
    "/var/vrdqup/.group_info",
    "/var/vrdqup/.refresh_info",
};

// kivcd reads its tuning values only when it starts, and the add driver
// started it before they were copied. A daemon that is not running (its
// start failed and was reported) or cannot be stopped is left as it is.
void restartKivcdForTuning() {
  if (isServiceRunning("kivcd", "/usr/sbin/kivcd") != 0)
    return;
  if (stopServiceWithReport("kivcd") == 0)
    startService("kivcd");
}

}  // namespace

int upgradeFromOldConfig() {
  int rc = readOldBaseContext();
  if (rc != 0)
    return rc;
  rc = runAdd(JoinMode::kUpgrade);
  if (rc != 0)
    return rc;
  bool copied = false;
  if (migrateOldSettings(copied) != 0)
    return kAlreadyReported;
  if (copied)
    restartKivcdForTuning();
  for (const char* file : kOldCacheFiles)
    unlink(file);
  return 0;
}
