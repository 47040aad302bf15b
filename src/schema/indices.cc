#include "schema/indices.h"

#include <ldap.h>
#include <syslog.h>

#include <cstdio>
#include <string>

#include "base/ldap_error.h"
#include "base/log.h"
#include "base/messages.h"
#include "base/result_codes.h"
#include "schema/server_info.h"

namespace {

constexpr const char* kGidMapping =
    "(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 "
    "X-VRD_NAME 'GID' )";
constexpr const char* kUidMapping =
    "( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )";

constexpr const char* kIndexCompletionOid = "1.3.6.1.4.1.32473.1.27.100.49";
constexpr const char* kIndexCompletionValue = "Dummy Value";

std::string indexDefinition(const char* attribute) {
  return std::string("0$") + attribute + "$0$0$2$1$" + attribute;
}

void logToBoth(Host& host, int priority, const char* text) {
  host.log(text);
  syslog(priority, "%s", text);
}

}  // namespace

int deleteIdMappings(DirectoryRequests& directory) {
  Modifications mappings;
  mappings.add(LDAP_MOD_DELETE, "attributetypes", {kGidMapping, kUidMapping});
  int rc = directory.modify("cn=schema", mappings.get());
  if (rc != LDAP_SUCCESS)
    return rc;
  fputs(tr("Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n"), stdout);
  fflush(stdout);
  return directory.refreshServer();
}

void addIdIndices(DirectoryRequests& directory, Host& host) {
  std::string serverDn;
  if (readServerParameter(directory, host, "dsaName", serverDn) != 0) {
    logToBoth(host, LOG_DEBUG,
              "Unable to get the LDAP server dn\nAdding the gidNumber and uidNumber indices "
              "failed.");
    return;
  }
  Modifications indices;
  indices.add(LDAP_MOD_ADD, "indexDefinition",
              {indexDefinition("gidNumber"), indexDefinition("uidNumber")});
  if (directory.modify(serverDn, indices.get()) != LDAP_SUCCESS) {
    host.log("uidNumber and gidNumber attribute indices already exist in the LDAP server");
    fputs(tr("uidNumber and gidNumber attribute indices already exist in the LDAP server\n"),
          stdout);
    return;
  }
  if (directory.extendedOperation(kIndexCompletionOid, kIndexCompletionValue) != LDAP_SUCCESS) {
    logToBoth(host, LOG_ERR,
              "Failed to complete adding indices for the uidNumber and gidNumber attributes to "
              "the LDAP server");
    return;
  }
  host.log("Added the uidNumber and gidNumber indices to the LDAP server successfully");
  fputs(tr("Added the uidNumber and gidNumber indices to the LDAP server successfully\n"), stdout);
}
