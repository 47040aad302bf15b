// rm: takes this host's objects out of the directory, then its daemons and
// local files.
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/terminal_input.h"
#include "commands/admin_session.h"
#include "commands/commands.h"
#include "directory/dn_text.h"
#include "directory/host_objects.h"
#include "directory/progress.h"
#include "directory/stored_certificate.h"
#include "host/local_files.h"
#include "host/services.h"

namespace {

// What the steps search for and change.
struct HostObjects {
  std::string ownFilter;  // this host's Workstation object
  std::string anyFilter;  // any Workstation object
  std::vector<std::string> contexts;
  std::string configDn;
  std::string contextsAttribute;
};

// Whether a Workstation object is left directly under `context`; a failed
// search is returned as it is, since it proves nothing either way.
int findAnyWorkstation(DirectoryRequests& directory, const std::string& context,
                       const std::string& anyFilter, bool& found) {
  std::vector<DirectoryEntry> entries;
  int rc = directory.search(context, SearchScope::kOneLevel, anyFilter, {}, entries);
  found = !entries.empty();
  return rc;
}

int deleteReported(DirectoryRequests& directory, const char* action, const std::string& dn) {
  int rc = deleteWithProgress(directory, action, dn);
  return rc == 0 ? 0 : reportFailure(rc);
}

// Deletes the host's object found under `context` and withdraws the context
// from the Config object when no Workstation object is left there.
int deleteFromContext(DirectoryRequests& directory, const HostObjects& objects,
                      const std::string& objectDn, const std::string& context) {
  int rc =
      deleteReported(directory, translatable("Deleting the Unix Workstation object..."), objectDn);
  if (rc != 0)
    return rc;
  bool othersLeft = false;
  rc = findAnyWorkstation(directory, context, objects.anyFilter, othersLeft);
  if (rc != 0 || othersLeft)
    return rc;
  Modifications withdraw;
  withdraw.add(LDAP_MOD_DELETE, objects.contextsAttribute, {context});
  return directory.modify(objects.configDn, withdraw.get());
}

int removeHostObjects(DirectoryRequests& directory, Host& host, SchemaFlavour flavour) {
  std::string hostName;
  int error = readShortHostName(host, hostName);
  if (error != 0) {
    errno = error;
    perror("Could not get the hostname");
    return -1;
  }
  const char* workstationClass = objectNames(flavour).workstationClass;
  HostObjects objects;
  objects.ownFilter = workstationFilter(workstationClass, hostName);
  objects.anyFilter =
      "(&(objectclass=" + escapeFilterValue(workstationClass) + ")(cn=UNIX Workstation - *))";
  int rc = findConfigObject(directory, flavour, runSettings.partitionRoot.value_or(""),
                            objects.contexts, objects.configDn, &objects.contextsAttribute);
  if (rc != 0)
    return rc;
  for (const std::string& context : objects.contexts) {
    std::vector<DirectoryEntry> entries;
    rc = directory.search(context, SearchScope::kOneLevel, objects.ownFilter, {}, entries);
    if (rc != 0)
      return rc;
    if (entries.empty() || entries.front().dn.empty())
      continue;
    rc = deleteFromContext(directory, objects, entries.front().dn, context);
    if (rc != 0)
      return rc;
    break;
  }
  // Only a Config object that served this one context can be left unused.
  if (objects.contexts.size() != 1)
    return 0;
  bool othersLeft = false;
  rc = findAnyWorkstation(directory, objects.contexts.front(), objects.anyFilter, othersLeft);
  if (rc != 0 || othersLeft)
    return rc;
  return deleteReported(directory, translatable("Deleting the Config object..."), objects.configDn);
}

// The connection details of the store replace what the options gave.
int takeStoredConnection(Host& host) {
  std::optional<std::string> base = host.readStoreText("base-name", true);
  if (!base)
    return kNotConfigured;
  runSettings.partitionRoot = base;
  if (!runSettings.adminFdn) {
    std::optional<std::string> admin = host.readStoreText("admin-fdn", true);
    if (!admin)
      return kNotConfigured;
    runSettings.adminFdn = admin;
    runSettings.adminFdnLocal =
        localFormOf(*admin, tr("Error converting admin FDN from UTF8 to local string\n"));
  }
  std::optional<std::string> server = host.readStoreText("preferred-server", false);
  if (!server)
    return kNotConfigured;
  runSettings.ldapServer = server;
  std::optional<int> port = host.readStoreInteger("ldap-port");
  if (port) {
    runSettings.ldapPort = static_cast<uint16_t>(*port);
  } else {
    fputs(tr("Error reading the ldap port number\n"), stdout);
  }
  return 0;
}

// SSL when the store names an SSL port and the server's certificate is
// stored: the certificate is then the only trusted one, and one that cannot
// serve ends the command. Without a stored certificate, SSL as -l asks.
int chooseStoredTransport(Host& host, Transport& transport) {
  std::optional<int> sslPort = host.readStoreInteger("ldap-ssl-port");
  if (!sslPort)
    return 0;
  runSettings.sslPort = static_cast<uint16_t>(*sslPort);
  const std::string& server = runSettings.ldapServer.value_or("");
  std::optional<std::string> file = certificateFilePath(server);
  transport.ssl = runSettings.sslFlag != 0;
  if (!file)
    return 0;
  std::vector<unsigned char> der;
  std::string problem;
  switch (inspectStoredCertificate(*file, der, problem)) {
    case StoredCertificate::kAbsent:
      return 0;
    case StoredCertificate::kUnusable:
      return refuseStoredCertificate(host, *file, server, problem);
    case StoredCertificate::kUsable:
      runSettings.sslFlag = 1;
      transport = {true, file, false};
      return 0;
  }
  return 0;
}

SchemaFlavour storedSchemaFlavour(Host& host) {
  std::optional<std::string> schema = host.readStoreText("schema", false);
  bool corvex = schema && strcasecmp(schema->c_str(), "corvex") == 0;
  return corvex ? SchemaFlavour::kCorvex : SchemaFlavour::kRfc2307;
}

int connectFromStore(Host& host, DirectoryConnector& connector,
                     std::unique_ptr<DirectoryRequests>& session) {
  Transport transport;
  int rc = chooseStoredTransport(host, transport);
  if (rc != 0)
    return rc;
  SessionOutcome outcome;
  return connectAsAdmin(host, connector, transport, session, outcome);
}

}  // namespace

int deconfigure(Host& host, DirectoryConnector& connector) {
  int rc = takeStoredConnection(host);
  if (rc != 0)
    return rc;
  std::unique_ptr<DirectoryRequests> session;
  rc = connectFromStore(host, connector, session);
  if (rc != 0)
    return rc;
  runSettings.schemaFlavour = storedSchemaFlavour(host);
  rc = removeHostObjects(*session, host, runSettings.schemaFlavour);
  session.reset();
  if (rc != 0)
    return rc;
  stopServicesForRemoval(host);
  cleanupLocalFiles(host);
  return 0;
}
