// rm: takes this host's objects out of the directory, then its daemons and
// local files.
#include <strings.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
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
// search is returned as it is, since it proves nothing either way. A server
// that caps its answers says 4 (size limit) after sending some: they exist.
int findAnyWorkstation(DirectoryRequests& directory, const std::string& context,
                       const std::string& anyFilter, bool& found) {
  std::optional<DirectoryEntry> first;
  int rc = directory.searchFirst(context, SearchScope::kOneLevel, anyFilter, {}, first);
  found = first.has_value();
  return rc == LDAP_SIZELIMIT_EXCEEDED && found ? 0 : rc;
}

// A value already withdrawn, or a Config object already deleted, by another
// host leaving at the same moment or by an earlier run, is a step done.
int doneWhenWithdrawn(int rc) {
  return rc == LDAP_NO_SUCH_ATTRIBUTE || rc == LDAP_NO_SUCH_OBJECT ? 0 : rc;
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
  return doneWhenWithdrawn(directory.modify(objects.configDn, withdraw.get()));
}

// Finds this host's object under the listed contexts and deletes it. 0 when
// it was deleted or is in none of them.
int deleteOwnObject(DirectoryRequests& directory, const HostObjects& objects) {
  for (const std::string& context : objects.contexts) {
    if (!canBeDn(context))
      return LDAP_INVALID_DN_SYNTAX;
    std::optional<DirectoryEntry> own;
    int rc = directory.searchFirst(context, SearchScope::kOneLevel, objects.ownFilter, {}, own);
    if (rc != 0)
      return rc;
    if (own && !own->dn.empty())
      return deleteFromContext(directory, objects, own->dn, context);
  }
  return 0;
}

int removeHostObjects(DirectoryRequests& directory, const std::string& hostName,
                      SchemaFlavour flavour) {
  const char* workstationClass = objectNames(flavour).workstationClass;
  HostObjects objects;
  objects.ownFilter = workstationFilter(workstationClass, hostName);
  objects.anyFilter =
      "(&(objectclass=" + escapeFilterValue(workstationClass) + ")(cn=UNIX Workstation - *))";
  int rc = findConfigObject(directory, flavour, runSettings.partitionRoot.value_or(""),
                            objects.contexts, objects.configDn, &objects.contextsAttribute);
  // Without a Config object no host is joined under the partition root any
  // more: an earlier run got that far. One that lists no context serves no
  // host: an earlier run withdrew the last one and could not delete it.
  if (rc == kNotConfigured || rc == kNoConfigObjectCorvex)
    return 0;
  if (rc == kNoWorkstationContext) {
    return deleteReported(directory, translatable("Deleting the Config object..."),
                          objects.configDn);
  }
  if (rc == 0)
    rc = deleteOwnObject(directory, objects);
  if (rc != 0)
    return rc;
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
  int rc = runSettings.adminFdn ? 0 : takeStoredAdmin(host);
  if (rc == 0)
    rc = takeStoredServer(host);
  if (rc != 0)
    return rc;
  std::optional<int> port = host.readStoreInteger("ldap-port");
  if (port) {
    runSettings.ldapPort = static_cast<uint16_t>(*port);
  } else {
    fputs(tr("Error reading the ldap port number\n"), stdout);
  }
  return 0;
}

// A host joined over SSL (the store names an SSL port) is left over SSL
// only, trusting just the stored certificate of the server: without a
// usable one the command ends before any bind. A store without an SSL port
// keeps the clear connection, unless -l asks for SSL.
int chooseStoredTransport(Host& host, Transport& transport) {
  std::optional<int> sslPort = host.readStoreInteger("ldap-ssl-port");
  if (!sslPort) {
    transport.ssl = runSettings.sslFlag != 0;
    return 0;
  }
  runSettings.sslPort = static_cast<uint16_t>(*sslPort);
  const std::string& server = runSettings.ldapServer.value_or("");
  std::optional<std::string> file = certificateFilePath(server);
  std::vector<unsigned char> der;
  std::string problem;
  StoredCertificate stored =
      file ? inspectStoredCertificate(*file, der, problem) : StoredCertificate::kAbsent;
  if (stored == StoredCertificate::kUsable) {
    runSettings.sslFlag = 1;
    transport = {true, file};
    return 0;
  }
  if (stored == StoredCertificate::kAbsent)
    problem = "it does not exist";
  return refuseStoredCertificate(host, file.value_or(server), server, problem);
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
  std::string hostName;
  rc = readShortHostName(host, "Could not get the hostname", hostName);
  if (rc != 0)
    return rc;
  std::unique_ptr<DirectoryRequests> session;
  rc = connectFromStore(host, connector, session);
  if (rc != 0)
    return rc;
  runSettings.schemaFlavour = storedSchemaFlavour(host);
  rc = removeHostObjects(*session, hostName, runSettings.schemaFlavour);
  session.reset();
  if (rc != 0)
    return rc;
  stopServicesForRemoval(host);
  return cleanupLocalFiles(host);
}
