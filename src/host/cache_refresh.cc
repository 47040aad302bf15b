#include "host/cache_refresh.h"

#include "host/local_files.h"
#include "host/services.h"

int refreshCache() {
  if (isServiceRunning("kivcd", "/usr/sbin/kivcd") != 0) {
    deleteCacheFiles();
    return 0;
  }
  if (stopServiceWithReport("kivcd") != 0) {
    deleteCacheFiles();
    return 0;
  }
  deleteCacheFiles();
  startService("kivcd");
  return 0;
}
