#include "schema/indices.h"

#include <ldap.h>
#include <syslog.h>

#include <cstdio>
#include <string>

#include "cli/messages.h"
#include "cli/report.h"
#include "directory/ldap_error.h"
#include "directory/server_info.h"
#include "directory/session.h"
#include "ldapx.h"

namespace {

constexpr const char* kGidMapping =
    "(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 "
    "X-VRD_NAME 'GID' )";
constexpr const char* kUidMapping =
    "( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )";

constexpr const char* kIndexCompletionOid = "1.3.6.1.4.1.32473.1.27.100.49";
constexpr char kIndexCompletionValue[] = "Dummy Value";

std::string indexDefinition(const char* attribute) {
  return std::string("0$") + attribute + "$0$0$2$1$" + attribute;
}

void logToBoth(int priority, const char* text) {
  writeLog(text);
  syslog(priority, "%s", text);
}

}  // namespace

int deleteIdMappings() {
  char* values[] = {const_cast<char*>(kGidMapping), const_cast<char*>(kUidMapping), nullptr};
  LDAPMod mapping = {};
  mapping.mod_op = LDAP_MOD_DELETE;
  mapping.mod_type = const_cast<char*>("attributetypes");
  mapping.mod_values = values;
  LDAPMod* modifications[] = {&mapping, nullptr};
  int rc = ldapResultCode(
      ldap_modify_ext_s(directorySession(), "cn=schema", modifications, nullptr, nullptr));
  if (rc != LDAP_SUCCESS)
    return rc;
  fputs(tr("Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n"), stdout);
  fflush(stdout);
  return ldap_refresh_server(directorySession());
}

void addIdIndices() {
  int version = LDAP_VERSION3;
  ldap_set_option(directorySession(), LDAP_OPT_PROTOCOL_VERSION, &version);
  std::string serverDn;
  if (readServerParameter("dsaName", serverDn) != 0) {
    logToBoth(LOG_DEBUG,
              "Unable to get the LDAP server dn\nAdding the gidNumber and uidNumber indices "
              "failed.");
    return;
  }
  std::string gidIndex = indexDefinition("gidNumber");
  std::string uidIndex = indexDefinition("uidNumber");
  char* values[] = {gidIndex.data(), uidIndex.data(), nullptr};
  LDAPMod indices = {};
  indices.mod_op = LDAP_MOD_ADD;
  indices.mod_type = const_cast<char*>("indexDefinition");
  indices.mod_values = values;
  LDAPMod* modifications[] = {&indices, nullptr};
  if (ldap_modify_s(directorySession(), serverDn.c_str(), modifications) != LDAP_SUCCESS) {
    writeLog("uidNumber and gidNumber attribute indices already exist in the LDAP server");
    fputs(tr("uidNumber and gidNumber attribute indices already exist in the LDAP server\n"),
          stdout);
    return;
  }
  berval request = {sizeof kIndexCompletionValue - 1, const_cast<char*>(kIndexCompletionValue)};
  char* responseName = nullptr;
  berval* responseValue = nullptr;
  int rc = ldap_extended_operation_s(directorySession(), kIndexCompletionOid, &request, nullptr,
                                     nullptr, &responseName, &responseValue);
  ldap_memfree(responseName);
  ber_bvfree(responseValue);
  if (rc != LDAP_SUCCESS) {
    logToBoth(LOG_ERR,
              "Failed to complete adding indices for the uidNumber and gidNumber attributes to "
              "the LDAP server");
    return;
  }
  writeLog("Added the uidNumber and gidNumber indices to the LDAP server successfully");
  fputs(tr("Added the uidNumber and gidNumber indices to the LDAP server successfully\n"), stdout);
}
