// cache_refresh: kivcd's cache emptied while kivcd is stopped.
#include "commands/commands.h"
#include "host/local_files.h"
#include "host/services.h"

int refreshCache(Host& host) {
  if (!host.isDaemonRunning(Daemon::kKivcd) || stopServiceWithReport(host, Daemon::kKivcd) != 0) {
    deleteCacheFiles(host);
    return 0;
  }
  deleteCacheFiles(host);
  startService(host, Daemon::kKivcd);
  return 0;
}
