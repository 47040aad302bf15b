#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/ldap_error.h"
#include "base/messages.h"
#include "directory/certificate.h"
#include "directory/ldap_owners.h"
#include "directory/ldap_session.h"
#include "ldapssl.h"

namespace {

// The SDK's SSL state and the captured certificate are process-wide.
bool sessionOpen = false;

// The defaults of every handle made afterwards.
void setHandleDefaults() {
  int version = LDAP_VERSION3;
  ldap_set_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(nullptr, LDAP_OPT_NETWORK_TIMEOUT, &kNetworkTimeout);
  ldap_set_option(nullptr, LDAP_OPT_TIMEOUT, &kOperationTimeout);
}

}  // namespace

int LdapConnector::openSsl(const std::string& server, uint16_t port,
                           const std::optional<std::string>& trustFile,
                           std::unique_ptr<DirectoryRequests>& connection, std::string& problem) {
  setHandleDefaults();
  releaseCapturedCertificate();
  int rc = ldapssl_client_init(trustFile ? trustFile->c_str() : nullptr, nullptr);
  if (rc != 0) {
    syslog(LOG_ERR, "ldapssl_client_init error: %d\n", rc);
    host_.log("ldapssl_client_init error.");
    problem = std::string("ldapssl_client_init failed (") + ldapErrorText(rc) + ")";
    return rc;
  }
  rc = ldapssl_set_verify_callback(verifyServerCertificate);
  if (rc != 0) {
    printf(tr("ldapssl_set_verify_callback error: %d\n"), rc);
    ldapssl_client_deinit();
    problem = std::string("ldapssl_set_verify_callback failed (") + ldapErrorText(rc) + ")";
    return rc;
  }
  LDAP* handle = ldapssl_init(server.c_str(), port, 1);
  if (handle == nullptr) {
    fputs(tr("LDAP SSL initialization error\n"), stdout);
    ldapssl_client_deinit();
    problem = "ldapssl_init failed for port " + std::to_string(port);
    return LDAP_LOCAL_ERROR;
  }
  connection = std::make_unique<DirectorySession>(handle);
  return 0;
}

int LdapConnector::openClear(const std::string& server, uint16_t port,
                             std::unique_ptr<DirectoryRequests>& connection) {
  setHandleDefaults();
  LDAP* handle = ldap_init(server.c_str(), port);
  if (handle == nullptr) {
    ldapssl_client_deinit();
    return LDAP_LOCAL_ERROR;
  }
  connection = std::make_unique<DirectorySession>(handle);
  return 0;
}

DirectorySession::DirectorySession(LDAP* handle) : handle_(handle) {
  if (sessionOpen) {
    fputs("DirectorySession: a directory session is already open\n", stderr);
    abort();
  }
  sessionOpen = true;
}

DirectorySession::~DirectorySession() {
  ldap_unbind_ext_s(handle_, nullptr, nullptr);
  ldapssl_client_deinit();
  releaseCapturedCertificate();
  sessionOpen = false;
}

namespace {

// The diagnostic message libldap keeps for the last failure; a connection
// that could not be made at all leaves none.
std::string diagnosticMessage(LDAP* handle) {
  char* message = nullptr;
  if (ldap_get_option(handle, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) != LDAP_OPT_SUCCESS)
    return "";
  LdapStringPtr owner(message);
  return message != nullptr ? message : "";
}

}  // namespace

bool DirectorySession::certificateRefused() {
  return diagnosticMessage(handle_) == LDAPSSL_CERT_REFUSED_MESSAGE;
}

std::string DirectorySession::negotiationFailure() {
  std::string message = diagnosticMessage(handle_);
  return message == LDAPSSL_CERT_REFUSED_MESSAGE ? "" : message;
}
