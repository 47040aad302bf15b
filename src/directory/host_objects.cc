#include "directory/host_objects.h"

#include <ldap.h>
#include <syslog.h>

#include <cerrno>
#include <cstdio>

#include "base/ldap_error.h"
#include "base/log.h"
#include "base/result_codes.h"
#include "directory/dn_text.h"
#include "directory/progress.h"
#include "directory/rights.h"

namespace {

constexpr ObjectNames kRfc2307Names = {"qupPosixConfig", "qupPosixWorkstation",
                                       "qupPosixWorkstationContexts"};
constexpr ObjectNames kCorvexNames = {"Unix:Config", "UNIX:Workstation",
                                      "UNIX:Workstation Contexts"};

// The corvex generation also named the contexts attribute without its prefix.
constexpr const char* kCorvexContextsFallback = "WorkstationContexts";

constexpr const char* kConfigName = "UNIX Config";

// add and upgrade write the RFC 2307 names; rm finds either.
const ObjectNames& writtenNames() {
  return objectNames(SchemaFlavour::kRfc2307);
}

int addWorkstationEntry(DirectoryRequests& directory, const std::string& workstationDn) {
  Modifications entry;
  entry.add(LDAP_MOD_ADD, "objectClass", {writtenNames().workstationClass})
      .add(LDAP_MOD_ADD, "ACL", {"2#entry#[Public]#groupMembership", "2#entry#[Public]#cn"});
  return directory.add(workstationDn, entry.get());
}

}  // namespace

const ObjectNames& objectNames(SchemaFlavour flavour) {
  return flavour == SchemaFlavour::kCorvex ? kCorvexNames : kRfc2307Names;
}

int createConfigObject(DirectoryRequests& directory, Host& host, const std::string& partitionRoot,
                       std::string& configDn) {
  configDn = std::string("cn=") + kConfigName + (partitionRoot.empty() ? "" : ",") + partitionRoot;
  announce("Creating the Unix Config object...");
  Modifications entry;
  entry.add(LDAP_MOD_ADD, "objectClass", {writtenNames().configClass})
      .add(LDAP_MOD_ADD, "cn", {kConfigName})
      .add(LDAP_MOD_ADD, "ACL",
           {"2#entry#[Public]#qupPosixWorkstationContexts", "2#entry#[Public]#cn"});
  int rc = directory.add(configDn, entry.get());
  if (rc == LDAP_SUCCESS) {
    host.log("Creating the Unix Config object done.");
    reportDone();
    return 0;
  }
  if (rc == LDAP_ALREADY_EXISTS) {
    host.log("Creating the Unix Config object already exists.");
    reportAlreadyExists();
    return 0;
  }
  host.log(std::string("Failed to add the Config object:") + ldapErrorText(rc));
  return reportFailure(rc);
}

int createWorkstationObject(DirectoryRequests& directory, Host& host,
                            const std::string& partitionRoot, const std::string& workstationDn,
                            bool overwrite) {
  for (;;) {
    announce("Creating the Unix Workstation object...");
    int rc = addWorkstationEntry(directory, workstationDn);
    if (rc == LDAP_SUCCESS) {
      host.log("Creating the Unix workstation object done.");
      reportDone();
      grantWorkstationTrustee(directory, host, partitionRoot, workstationDn);
      return 0;
    }
    if (rc != LDAP_ALREADY_EXISTS) {
      host.log(std::string("Failed to add the Workstation object:") + ldapErrorText(rc));
      return reportFailure(rc);
    }
    host.log("Creating the Unix workstation object already exists.");
    reportAlreadyExists();
    if (!overwrite)
      return 0;
    // -o replaces the object once: a second "already exists" keeps it.
    rc = deleteWithProgress(directory, translatable("Deleting the Unix Workstation object..."),
                            workstationDn);
    if (rc != LDAP_SUCCESS)
      return rc;
    overwrite = false;
  }
}

int addWorkstationContext(DirectoryRequests& directory, const std::string& configDn,
                          const std::string& context) {
  announce("Adding the workstation context...");
  Modifications change;
  change.add(LDAP_MOD_ADD, writtenNames().contextsAttribute, {context});
  int rc = directory.modify(configDn, change.get());
  if (rc != LDAP_SUCCESS && rc != LDAP_TYPE_OR_VALUE_EXISTS)
    return reportFailure(rc);
  reportDone();
  return 0;
}

int findConfigObject(DirectoryRequests& directory, SchemaFlavour flavour,
                     const std::string& partitionRoot, std::vector<std::string>& contexts,
                     std::string& configDn, std::string* contextsAttribute) {
  const ObjectNames& names = objectNames(flavour);
  bool corvex = flavour == SchemaFlavour::kCorvex;
  std::string filter =
      std::string("(&(objectclass=") + names.configClass + ")(cn=" + kConfigName + "))";
  std::vector<DirectoryEntry> entries;
  int rc = directory.search(partitionRoot, SearchScope::kOneLevel, filter, {}, entries);
  if (rc == LDAP_NO_SUCH_OBJECT)
    return kNotConfigured;
  if (rc != LDAP_SUCCESS)
    return rc;
  if (entries.empty())
    return corvex ? kNoConfigObjectCorvex : kNotConfigured;
  const DirectoryEntry& config = entries.front();
  configDn = config.dn;
  const char* attribute = names.contextsAttribute;
  const std::vector<std::string>* values = config.values(attribute);
  if (values == nullptr && corvex) {
    attribute = kCorvexContextsFallback;
    values = config.values(attribute);
  }
  if (contextsAttribute != nullptr)
    *contextsAttribute = attribute;
  contexts = values != nullptr ? *values : std::vector<std::string>{};
  return contexts.empty() ? kNoWorkstationContext : 0;
}

int findWorkstationContext(DirectoryRequests& directory, Host& host,
                           const std::string& partitionRoot, std::string& context) {
  std::string shortName;
  int rc = readShortHostName(host, "Could not get the hostname: gethostname() failed", shortName);
  if (rc != 0)
    return rc;
  std::string filter = workstationFilter(writtenNames().workstationClass, shortName);
  std::vector<std::string> contexts;
  std::string configDn;
  rc = findConfigObject(directory, SchemaFlavour::kRfc2307, partitionRoot, contexts, configDn);
  if (rc != 0) {
    syslog(LOG_DEBUG, "Not configured");
    return rc;
  }
  // A context that is gone ends the search, even when a later one would
  // hold the object.
  for (const std::string& listed : contexts) {
    if (!canBeDn(listed))
      return LDAP_INVALID_DN_SYNTAX;
    std::vector<DirectoryEntry> entries;
    rc = directory.search(listed, SearchScope::kOneLevel, filter, {}, entries);
    if (rc != LDAP_SUCCESS)
      return rc;
    if (!entries.empty() && !entries.front().dn.empty()) {
      context = listed;
      return 0;
    }
  }
  return kUpgradeNoWorkstationObject;
}
