// The directory session: the one bound LDAP connection of a run.
//
// The command says how to connect (Transport) and with what (Connection);
// connectDirectory asks for what is missing, opens the connection through a
// DirectoryConnector and binds, waiting for a server that is not up yet. The
// connection it hands out sends the program's directory requests and, when
// it goes out of scope, unbinds.
#ifndef KIVCONFIG_DIRECTORY_SESSION_H_
#define KIVCONFIG_DIRECTORY_SESSION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/directory_requests.h"
#include "base/host.h"

// How to reach the server. Where SSL is asked for and cannot be set up, or
// its negotiation fails while the server answers, the command ends before
// any bind: the admin's password never travels in clear text where SSL was
// expected.
struct Transport {
  bool ssl = false;
  // The only certificate trusted; without it the server's certificate is
  // trusted on first use and stored after the bind.
  std::optional<std::string> trustFile;
};

// What the session binds with. Missing values are asked for and filled in,
// so the command can keep them.
struct Connection {
  std::optional<std::string> server;  // as typed
  uint16_t ldapPort = 389;
  uint16_t sslPort = 636;
  std::optional<std::string> adminFdn;       // UTF-8
  std::optional<std::string> adminFdnLocal;  // as shown
  std::optional<std::string> password;
};

// What the session did: whether it went over SSL, and the SHA-256
// fingerprint of the certificate file it wrote, if it wrote one.
struct SessionOutcome {
  bool ssl = false;
  std::optional<std::string> storedFingerprint;
};

// Opens unbound connections. The real one (LdapConnector) sets up the
// SDK's SSL state; unit tests record the request instead.
class DirectoryConnector {
 public:
  virtual ~DirectoryConnector() = default;
  // Over SSL to `server`:`port`, trusting `trustFile` only when given, else
  // the server's certificate on first use. Returns 0 with `connection` set,
  // or non-zero with `problem` naming the step that failed.
  virtual int openSsl(const std::string& server, uint16_t port,
                      const std::optional<std::string>& trustFile,
                      std::unique_ptr<DirectoryRequests>& connection, std::string& problem) = 0;
  // In clear text; 0 with `connection` set, or non-zero.
  virtual int openClear(const std::string& server, uint16_t port,
                        std::unique_ptr<DirectoryRequests>& connection) = 0;
};

// Opens the session and binds. Returns 0 with `session` set, or a result
// code; a connection that is open but not bound is closed before
// returning.
int connectDirectory(Host& host, DirectoryConnector& connector, const Transport& transport,
                     Connection& connection, std::unique_ptr<DirectoryRequests>& session,
                     SessionOutcome& outcome);

// Prints and logs that the stored certificate `file` of `server` cannot
// serve, and why; returns -5999.
int refuseStoredCertificate(Host& host, const std::string& file, const std::string& server,
                            const std::string& problem);

#endif  // KIVCONFIG_DIRECTORY_SESSION_H_
