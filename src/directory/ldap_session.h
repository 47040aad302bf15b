// The directory requests over a libldap handle, and the connector that
// makes such handles, over SSL through the directory SDK or in clear text.
//
// At most one connection is open in a process, since the SDK's SSL state and
// the captured certificate are process-wide: opening a second one while the
// first is open is a programming error and ends the process.
#ifndef KIVCONFIG_DIRECTORY_LDAP_SESSION_H_
#define KIVCONFIG_DIRECTORY_LDAP_SESSION_H_

#include <ldap.h>
#include <sys/time.h>

#include <string>
#include <vector>

#include "base/directory_requests.h"
#include "base/host.h"
#include "directory/session.h"

// A server is given this long to accept a connection and this long for
// each answer: generous for a healthy or starting server, and a server that
// stopped answering ends the run instead of holding it for ever.
constexpr timeval kNetworkTimeout = {30, 0};
constexpr timeval kOperationTimeout = {120, 0};

class DirectorySession : public DirectoryRequests {
 public:
  // Takes over `handle`; unbinds it and releases the SDK's SSL state when
  // it goes.
  explicit DirectorySession(LDAP* handle);
  ~DirectorySession() override;
  DirectorySession(const DirectorySession&) = delete;
  DirectorySession& operator=(const DirectorySession&) = delete;

  int bind(const std::string& dn, const std::string& password) override;
  int search(const std::string& base, SearchScope scope, const std::string& filter,
             const std::vector<std::string>& attributes,
             std::vector<DirectoryEntry>& entries) override;
  int searchFirst(const std::string& base, SearchScope scope, const std::string& filter,
                  const std::vector<std::string>& attributes,
                  std::optional<DirectoryEntry>& first) override;
  int add(const std::string& dn, LDAPMod** modifications) override;
  int modify(const std::string& dn, LDAPMod** modifications) override;
  int remove(const std::string& dn) override;
  int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
             bool deleteOldRdn) override;
  int extendedOperation(const std::string& oid, const std::string& value) override;
  int readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) override;
  int refreshServer() override;
  bool certificateRefused() override;
  std::string negotiationFailure() override;

 private:
  LDAP* handle_;
};

class LdapConnector : public DirectoryConnector {
 public:
  // `host` takes the log lines of a failed SSL set-up.
  explicit LdapConnector(Host& host) : host_(host) {}
  int openSsl(const std::string& server, uint16_t port, const std::optional<std::string>& trustFile,
              std::unique_ptr<DirectoryRequests>& connection, std::string& problem) override;
  int openClear(const std::string& server, uint16_t port,
                std::unique_ptr<DirectoryRequests>& connection) override;

 private:
  Host& host_;
};

#endif  // KIVCONFIG_DIRECTORY_LDAP_SESSION_H_
