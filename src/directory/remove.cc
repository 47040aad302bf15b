#include "directory/remove.h"

#include <strings.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "config/store_reader.h"
#include "directory/dn_text.h"
#include "directory/host_objects.h"
#include "directory/progress.h"
#include "directory/session.h"
#include "host/local_files.h"
#include "host/services.h"
#include "kiv.h"

namespace {

// Deletes `dn` behind the progress line `action`.
int deleteWithProgress(DirectoryRequests& directory, const char* action, const std::string& dn) {
  announce(action);
  int rc = directory.remove(dn);
  if (rc != 0)
    return reportFailure(rc);
  reportDone();
  return 0;
}

// Whether a Workstation object is left directly under `context`; a failed
// search is returned as it is, since it proves nothing either way.
int findAnyWorkstation(DirectoryRequests& directory, const std::string& context,
                       const std::string& anyFilter, bool& found) {
  std::vector<DirectoryEntry> entries;
  int rc = directory.search(context, SearchScope::kOneLevel, anyFilter, {}, entries);
  found = !entries.empty();
  return rc;
}

// Deletes the host's object found under `context` and withdraws the context
// from the Config object when no Workstation object is left there.
int deleteFromContext(DirectoryRequests& directory, const std::string& objectDn,
                      const std::string& context, const std::string& anyFilter,
                      const std::string& configDn, const std::string& contextsAttribute) {
  int rc = deleteWithProgress(directory, translatable("Deleting the Unix Workstation object..."),
                              objectDn);
  if (rc != 0)
    return rc;
  bool othersLeft = false;
  rc = findAnyWorkstation(directory, context, anyFilter, othersLeft);
  if (rc != 0 || othersLeft)
    return rc;
  Modifications withdraw;
  withdraw.add(LDAP_MOD_DELETE, contextsAttribute, {context});
  return directory.modify(configDn, withdraw.get());
}

// The admin's name from the store, with its local form for the prompts.
int takeStoredAdmin() {
  std::optional<std::string> admin = readStoreDn("admin-fdn");
  if (!admin)
    return kNotConfigured;
  runSettings.adminFdn = admin;
  std::vector<char> local(kNameBufferSize);
  if (utfs2locs(local.data(), admin->c_str(), local.size()) < 0) {
    fputs(tr("Error converting admin FDN from UTF8 to local string\n"), stdout);
    runSettings.adminFdnLocal = admin;
  } else {
    runSettings.adminFdnLocal = local.data();
  }
  return 0;
}

// The connection details of the store replace what the options gave.
int takeStoredConnection() {
  std::optional<std::string> base = readStoreDn("base-name");
  if (!base)
    return kNotConfigured;
  runSettings.partitionRoot = base;
  if (!runSettings.adminFdn) {
    int rc = takeStoredAdmin();
    if (rc != 0)
      return rc;
  }
  std::optional<std::string> server = readStoreText("preferred-server");
  if (!server)
    return kNotConfigured;
  runSettings.ldapServer = server;
  std::optional<int> port = readStoreInteger("ldap-port");
  if (port) {
    runSettings.ldapPort = static_cast<uint16_t>(*port);
  } else {
    fputs(tr("Error reading the ldap port number\n"), stdout);
  }
  return 0;
}

SchemaFlavour storedSchemaFlavour() {
  std::optional<std::string> schema = readStoreText("schema");
  bool corvex = schema && strcasecmp(schema->c_str(), "corvex") == 0;
  return corvex ? SchemaFlavour::kCorvex : SchemaFlavour::kRfc2307;
}

}  // namespace

int removeHostObjects(DirectoryRequests& directory) {
  std::string hostName;
  if (readShortHostName(hostName) != 0) {
    perror("Could not get the hostname");
    return -1;
  }
  const char* workstationClass = objectNames(runSettings.schemaFlavour).workstationClass;
  std::string ownFilter = workstationFilter(workstationClass, hostName);
  std::string anyFilter =
      "(&(objectclass=" + escapeFilterValue(workstationClass) + ")(cn=UNIX Workstation - *))";
  std::vector<std::string> contexts;
  std::string configDn;
  std::string contextsAttribute;
  int rc = findConfigObject(directory, contexts, configDn, &contextsAttribute);
  if (rc != 0)
    return rc;
  for (const std::string& context : contexts) {
    std::vector<DirectoryEntry> entries;
    rc = directory.search(context, SearchScope::kOneLevel, ownFilter, {}, entries);
    if (rc != 0)
      return rc;
    if (entries.empty() || entries.front().dn.empty())
      continue;
    rc = deleteFromContext(directory, entries.front().dn, context, anyFilter, configDn,
                           contextsAttribute);
    if (rc != 0)
      return rc;
    break;
  }
  // Only a Config object that served this one context can be left unused.
  if (contexts.size() != 1)
    return 0;
  bool othersLeft = false;
  rc = findAnyWorkstation(directory, contexts.front(), anyFilter, othersLeft);
  if (rc != 0 || othersLeft)
    return rc;
  return deleteWithProgress(directory, translatable("Deleting the Config object..."), configDn);
}

int deconfigure() {
  int rc = takeStoredConnection();
  if (rc != 0)
    return rc;
  std::unique_ptr<DirectorySession> session;
  rc = connectDirectory(ConnectMode::kFromStore, session);
  if (rc != 0)
    return rc;
  runSettings.schemaFlavour = storedSchemaFlavour();
  rc = removeHostObjects(*session);
  session.reset();
  if (rc != 0)
    return rc;
  stopServicesForRemoval();
  cleanupLocalFiles();
  return 0;
}
