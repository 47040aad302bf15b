// The directory session: the one bound LDAP connection of a run.
//
// connectDirectory opens and binds it; the DirectorySession it hands out
// sends the program's directory requests over it and, when it goes out of
// scope, unbinds and releases the SDK's process-wide SSL state. At most one
// session is open in a process, since that SSL state and the captured
// certificate are process-wide: opening a second one while the first is
// open is a programming error and ends the process.
#ifndef KIVCONFIG_DIRECTORY_SESSION_H_
#define KIVCONFIG_DIRECTORY_SESSION_H_

#include <ldap.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/directory_requests.h"

// How connectDirectory chooses between SSL and clear text. Where SSL was
// chosen and cannot be set up, the session goes on in clear text only when
// the mode says so; otherwise the command ends before any bind, so the
// admin's password never travels in clear text where SSL was expected.
enum class ConnectMode {
  // rm: SSL when the store names an SSL port and the server's certificate
  // is stored; the certificate is then the only trusted one, and a stored
  // certificate that cannot serve ends the command. Without a stored
  // certificate, SSL as the run settings ask, with the clear fallback.
  kFromStore = 0,
  // add, upgrade: SSL when the run settings ask for it, trusting the
  // server's certificate on first use and storing it after the bind; a
  // failed SSL set-up falls back to clear text.
  kFromRunSettings = 1,
  // -k: always SSL, trusting on first use and storing the certificate; a
  // failed SSL set-up ends the command, since -k exists only to fetch the
  // certificate over SSL.
  kCertificateFetch = 2,
};

class DirectorySession : public DirectoryRequests {
 public:
  // Takes over `handle`, already bound by other means (tools and tests).
  explicit DirectorySession(LDAP* handle);
  ~DirectorySession() override;
  DirectorySession(const DirectorySession&) = delete;
  DirectorySession& operator=(const DirectorySession&) = delete;

  // Whether opening the session wrote the server's certificate file, and
  // the SHA-256 fingerprint of what it wrote.
  bool certificateStored() const { return storedFingerprint_.has_value(); }
  const std::string& storedCertificateFingerprint() const { return *storedFingerprint_; }

  int bind(const std::string& dn, const std::string& password) override;
  int search(const std::string& base, SearchScope scope, const std::string& filter,
             const std::vector<std::string>& attributes,
             std::vector<DirectoryEntry>& entries) override;
  int add(const std::string& dn, LDAPMod** modifications) override;
  int modify(const std::string& dn, LDAPMod** modifications) override;
  int remove(const std::string& dn) override;
  int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
             bool deleteOldRdn) override;
  int extendedOperation(const std::string& oid, const std::string& value) override;
  int readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) override;
  int refreshServer() override;

 private:
  friend int connectDirectory(ConnectMode, std::unique_ptr<DirectorySession>&);
  LDAP* handle_;
  std::optional<std::string> storedFingerprint_;
};

// Opens the session, asking for the server, the admin's name and password
// where the run settings lack them, and binds, waiting for a server that is
// not up yet. Returns 0 with `session` set, or a result code; a session
// that is open but not bound is closed before returning. Writes the SSL
// choice, the server, the admin's name and the password into the run
// settings.
int connectDirectory(ConnectMode mode, std::unique_ptr<DirectorySession>& session);

#endif  // KIVCONFIG_DIRECTORY_SESSION_H_
