#include "directory/add.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/result_codes.h"
#include "config/client_config.h"
#include "directory/contexts.h"
#include "directory/host_objects.h"
#include "directory/proxy_user.h"
#include "directory/session.h"
#include "host/local_files.h"
#include "host/services.h"
#include "schema/schema.h"
#include "schema/server_info.h"

namespace {

// Names the directory steps would refuse half-way are refused before the
// first request. On upgrade the workstation context comes from the
// directory, so configureObjects checks the workstation DN there.
int checkNamesBeforeWriting(JoinMode mode) {
  if (runSettings.proxyUserFdn && runSettings.proxyUserPassword) {
    std::string name;
    int rc = proxyUserName(*runSettings.proxyUserFdn, name);
    if (rc != 0)
      return rc;
  }
  if (mode == JoinMode::kUpgrade)
    return 0;
  std::string workstationDn;
  return formWorkstationDn(workstationDn);
}

int configureDirectory(DirectoryRequests& directory, JoinMode mode) {
  readServerVersion(directory);
  int rc = updateSchema(directory, mode);
  if (rc == 0 && mode == JoinMode::kUpgrade)
    rc = findWorkstationContext(directory);
  if (rc == 0)
    rc = configureObjects(directory);
  return rc;
}

}  // namespace

int runAdd(JoinMode mode) {
  int rc = checkNamesBeforeWriting(mode);
  if (rc != 0)
    return rc;
  std::unique_ptr<DirectorySession> session;
  rc = connectDirectory(ConnectMode::kFromRunSettings, session);
  if (rc != 0)
    return rc;
  rc = configureDirectory(*session, mode);
  if (rc != 0)
    return rc;
  session.reset();
  // The directory objects stay when the store cannot be written; a re-run
  // finds them and completes the join. The daemons keep the old store.
  if (writeClientConfig() != 0)
    return kAlreadyReported;
  deleteCacheFiles();
  fflush(stdout);
  return restartServices();
}
