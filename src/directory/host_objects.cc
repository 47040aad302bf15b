#include "directory/host_objects.h"

#include <ldap.h>
#include <syslog.h>

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

const ObjectNames& currentNames() {
  return objectNames(runSettings.schemaFlavour);
}

int addWorkstationEntry(DirectoryRequests& directory, const std::string& workstationDn) {
  Modifications entry;
  entry.add(LDAP_MOD_ADD, "objectClass", {currentNames().workstationClass})
      .add(LDAP_MOD_ADD, "ACL", {"2#entry#[Public]#groupMembership", "2#entry#[Public]#cn"});
  return directory.add(workstationDn, entry.get());
}

}  // namespace

const ObjectNames& objectNames(SchemaFlavour flavour) {
  return flavour == SchemaFlavour::kCorvex ? kCorvexNames : kRfc2307Names;
}

int createConfigObject(DirectoryRequests& directory, std::string& configDn) {
  const std::string& partitionRoot = runSettings.partitionRoot.value_or("");
  configDn = std::string("cn=") + kConfigName + (partitionRoot.empty() ? "" : ",") + partitionRoot;
  announce("Creating the Unix Config object...");
  Modifications entry;
  entry.add(LDAP_MOD_ADD, "objectClass", {currentNames().configClass})
      .add(LDAP_MOD_ADD, "cn", {kConfigName})
      .add(LDAP_MOD_ADD, "ACL",
           {"2#entry#[Public]#qupPosixWorkstationContexts", "2#entry#[Public]#cn"});
  int rc = directory.add(configDn, entry.get());
  if (rc == LDAP_SUCCESS) {
    writeLog("Creating the Unix Config object done.");
    reportDone();
    return 0;
  }
  if (rc == LDAP_ALREADY_EXISTS) {
    writeLog("Creating the Unix Config object already exists.");
    reportAlreadyExists();
    return 0;
  }
  writeLog(std::string("Failed to add the Config object:") + ldapErrorText(rc));
  return reportFailure(rc);
}

int createWorkstationObject(DirectoryRequests& directory, const std::string& workstationDn) {
  for (;;) {
    announce("Creating the Unix Workstation object...");
    int rc = addWorkstationEntry(directory, workstationDn);
    if (rc == LDAP_SUCCESS) {
      writeLog("Creating the Unix workstation object done.");
      reportDone();
      grantWorkstationTrustee(directory, workstationDn);
      return 0;
    }
    if (rc != LDAP_ALREADY_EXISTS) {
      writeLog(std::string("Failed to add the Workstation object:") + ldapErrorText(rc));
      return reportFailure(rc);
    }
    writeLog("Creating the Unix workstation object already exists.");
    reportAlreadyExists();
    if (runSettings.overwriteCount == 0)
      return 0;
    // -o replaces the object once: a second "already exists" keeps it.
    announce("Deleting the Unix Workstation object...");
    rc = directory.remove(workstationDn);
    if (rc != LDAP_SUCCESS)
      return rc;
    runSettings.overwriteCount = 0;
    reportDone();
  }
}

int addWorkstationContext(DirectoryRequests& directory, const std::string& configDn) {
  announce("Adding the workstation context...");
  Modifications change;
  change.add(LDAP_MOD_ADD, currentNames().contextsAttribute,
             {runSettings.workstationContext.value_or("")});
  int rc = directory.modify(configDn, change.get());
  if (rc != LDAP_SUCCESS && rc != LDAP_TYPE_OR_VALUE_EXISTS)
    return reportFailure(rc);
  reportDone();
  return 0;
}

int findConfigObject(DirectoryRequests& directory, std::vector<std::string>& contexts,
                     std::string& configDn, std::string* contextsAttribute) {
  const ObjectNames& names = currentNames();
  bool corvex = runSettings.schemaFlavour == SchemaFlavour::kCorvex;
  std::string filter =
      std::string("(&(objectclass=") + names.configClass + ")(cn=" + kConfigName + "))";
  std::vector<DirectoryEntry> entries;
  int rc = directory.search(runSettings.partitionRoot.value_or(""), SearchScope::kOneLevel, filter,
                            {}, entries);
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

int findWorkstationContext(DirectoryRequests& directory) {
  std::string shortName;
  if (readShortHostName(shortName) != 0) {
    perror("Could not get the hostname: gethostname() failed");
    return -1;
  }
  std::string filter = workstationFilter(currentNames().workstationClass, shortName);
  std::vector<std::string> contexts;
  std::string configDn;
  int rc = findConfigObject(directory, contexts, configDn);
  if (rc != 0) {
    syslog(LOG_DEBUG, "Not configured");
    return rc;
  }
  // A context that is gone ends the search, even when a later one would
  // hold the object.
  for (const std::string& context : contexts) {
    std::vector<DirectoryEntry> entries;
    rc = directory.search(context, SearchScope::kOneLevel, filter, {}, entries);
    if (rc != LDAP_SUCCESS)
      return rc;
    if (!entries.empty() && !entries.front().dn.empty()) {
      runSettings.workstationContext = context;
      return 0;
    }
  }
  return kUpgradeNoWorkstationObject;
}
