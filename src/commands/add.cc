// add, and the join stages that upgrade shares.
#include <strings.h>

#include <cstdio>

#include "base/log.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/result_codes.h"
#include "commands/admin_session.h"
#include "commands/commands.h"
#include "commands/join.h"
#include "directory/contexts.h"
#include "directory/dn_split.h"
#include "directory/dn_text.h"
#include "directory/host_objects.h"
#include "directory/proxy_user.h"
#include "directory/rights.h"
#include "host/local_files.h"
#include "host/services.h"
#include "schema/schema.h"
#include "schema/server_info.h"

namespace {

bool proxyUserGiven() {
  return runSettings.proxyUserFdn.has_value() && runSettings.proxyUserPassword.has_value();
}

// A store written for another partition root belongs to another join.
int checkStoredBaseName(Host& host) {
  std::optional<std::string> stored = host.readStoreText("base-name", true);
  if (!stored || strcasecmp(stored->c_str(), runSettings.partitionRoot.value_or("").c_str()) == 0)
    return 0;
  fputs(tr("Error: Specified partition root and Partition root in the KIV configuration file "
           "doesn't match.\n"),
        stdout);
  host.log(
      "Error: Specified partition root and Partition root in the VRD configuration file doesn't "
      "match.\n");
  return kNotConfigured;
}

// The objects of the join, in their order: both contexts, the Config
// object, the partition root's rights, the Workstation object, the context
// listed in the Config object and, with -y and -d, the proxy user.
int configureObjects(DirectoryRequests& directory, Host& host) {
  const std::string& partitionRoot = runSettings.partitionRoot.value_or("");
  const std::string& context = runSettings.workstationContext.value_or("");
  std::string workstationDn;
  int rc = formWorkstationDn(host, context, workstationDn);
  if (rc == 0)
    rc = checkStoredBaseName(host);
  if (rc == 0)
    rc = prepareContext(directory, host, ContextRole::kPartitionRoot, partitionRoot);
  if (rc == 0)
    rc = prepareContext(directory, host, ContextRole::kWorkstationContext, context);
  std::string configDn;
  if (rc == 0)
    rc = createConfigObject(directory, host, partitionRoot, configDn);
  if (rc != 0)
    return rc;
  // Not granting the public rights leaves the join usable, and on a re-run
  // the values are there already.
  setPartitionRootRights(directory, partitionRoot);
  rc = createWorkstationObject(directory, host, partitionRoot, workstationDn,
                               runSettings.overwriteCount != 0);
  if (rc == 0)
    rc = addWorkstationContext(directory, configDn, context);
  if (rc == 0 && proxyUserGiven()) {
    rc =
        createProxyUser(directory, host, *runSettings.proxyUserFdn, *runSettings.proxyUserPassword);
  }
  return rc;
}

// The proxy user's password would replace the admin's own and lock the
// admin out.
int checkProxyIsNotAdmin(Host& host) {
  if (!proxyUserGiven() || !sameDn(*runSettings.proxyUserFdn, runSettings.adminFdn.value_or("")))
    return 0;
  printAndLog(host, "The proxy user \"%s\" is the admin itself: its password would be replaced\n",
              runSettings.proxyUserFdn->c_str());
  return kAlreadyReported;
}

}  // namespace

int checkProxyPassword() {
  if (!proxyUserGiven() || !runSettings.proxyUserPassword->empty())
    return 0;
  fputs(tr("An empty proxy user password is not accepted\n"), stdout);
  return kAlreadyReported;
}

int checkNamesBeforeWriting(Host& host, JoinMode mode) {
  if (proxyUserGiven()) {
    int rc = checkProxyPassword();
    if (rc != 0)
      return rc;
    std::string name;
    rc = proxyUserName(host, *runSettings.proxyUserFdn, name);
    if (rc != 0)
      return rc;
  }
  if (mode == JoinMode::kUpgrade) {
    std::string shortName;
    return readShortHostName(host, "Could not get the hostname: gethostname() failed", shortName);
  }
  std::string workstationDn;
  return formWorkstationDn(host, runSettings.workstationContext.value_or(""), workstationDn);
}

int openAdminSession(Host& host, DirectoryConnector& connector,
                     std::unique_ptr<DirectoryRequests>& session) {
  Transport transport;
  transport.ssl = runSettings.sslFlag != 0;
  SessionOutcome outcome;
  return connectAsAdmin(host, connector, transport, session, outcome);
}

int configureDirectory(DirectoryRequests& directory, Host& host, JoinMode mode) {
  // The admin may have been named at the prompt: checked once bound.
  int rc = checkProxyIsNotAdmin(host);
  if (rc != 0)
    return rc;
  runSettings.serverVersion = readServerVersion(directory, host);
  SchemaFiles files = {host.dataFile(kSchemaFileName), host.dataFile(kUniqueIdSchemaFileName)};
  rc = updateSchema(directory, host, files, mode, runSettings.serverVersion);
  if (rc == 0 && mode == JoinMode::kUpgrade) {
    std::string context;
    rc = findWorkstationContext(directory, host, runSettings.partitionRoot.value_or(""), context);
    if (rc == 0)
      runSettings.workstationContext = context;
  }
  if (rc == 0)
    rc = configureObjects(directory, host);
  return rc;
}

int finishJoin(Host& host, const std::vector<StoreValue>& extra) {
  if (writeClientConfig(host, extra) != 0)
    return kAlreadyReported;
  deleteCacheFiles(host);
  fflush(stdout);
  return restartServices(host);
}

int joinDirectory(Host& host, DirectoryConnector& connector, JoinMode mode) {
  std::unique_ptr<DirectoryRequests> session;
  int rc = openAdminSession(host, connector, session);
  if (rc == 0)
    rc = configureDirectory(*session, host, mode);
  return rc;
}

int runAdd(Host& host, DirectoryConnector& connector) {
  int rc = checkNamesBeforeWriting(host, JoinMode::kAdd);
  if (rc == 0)
    rc = joinDirectory(host, connector, JoinMode::kAdd);
  if (rc != 0)
    return rc;
  return finishJoin(host, {});
}
