#include "directory/session.h"

#include <syslog.h>

#include <cstdio>
#include <vector>

#include "base/ldap_error.h"
#include "base/log.h"
#include "base/messages.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/terminal_input.h"
#include "directory/certificate.h"
#include "host/local_files.h"
#include "kiv.h"

namespace {

// A server that does not answer is bound this many times, with a pause of
// kBindRetrySeconds after each attempt.
constexpr int kMaxBindAttempts = 60;
constexpr unsigned kBindRetrySeconds = 5;

// Fills the admin's name in both forms. False after a message when no usable
// name was typed or it cannot be had in UTF-8, since binding with a wrong
// name would be worse.
bool ensureAdminName(Host& host, Connection& connection) {
  if (connection.adminFdn) {
    if (!connection.adminFdnLocal) {
      connection.adminFdnLocal =
          localFormOf(*connection.adminFdn,
                      tr("Error while converting admin name from local to utf8 format\n"));
    }
    return true;
  }
  std::string typed;
  WordStatus status = promptForWord(host, tr("Admin Name:"), typed);
  if (status == WordStatus::kEndOfInput)
    fputs(tr("Invalid entry\n"), stdout);
  if (status != WordStatus::kRead)
    return false;
  std::vector<char> converted(kNameBufferSize);
  if (locs2utfs(converted.data(), typed.c_str(), converted.size()) < 0) {
    fputs(tr("Error while converting admin name from local to utf8 format\n"), stdout);
    return false;
  }
  connection.adminFdnLocal = typed;
  connection.adminFdn = converted.data();
  return true;
}

// A simple bind with an empty password is an unauthenticated bind, never
// what an administrator meant.
bool refuseEmptyPassword() {
  fputs(tr("An empty password is not accepted: give the admin's password\n"), stdout);
  return false;
}

bool ensurePassword(Host& host, Connection& connection) {
  if (connection.password)
    return !connection.password->empty() || refuseEmptyPassword();
  std::optional<std::string> fromEnvironment = host.environmentValue("PELK_PWD");
  if (fromEnvironment && !fromEnvironment->empty()) {
    connection.password = fromEnvironment;
    return true;
  }
  std::vector<char> prompt(kNameBufferSize);
  snprintf(prompt.data(), prompt.size(), tr("Enter the admin(%s) password:"),
           connection.adminFdnLocal->c_str());
  std::string typed;
  if (!host.readPassword(prompt.data(), typed)) {
    fputs(tr("Unable to read the password\n"), stdout);
    return false;
  }
  if (typed.empty())
    return refuseEmptyPassword();
  connection.password = typed;
  return true;
}

int reportRefusedCertificate(Host& host, const Transport& transport, const std::string& server) {
  if (transport.trustFile) {
    printAndLog(host,
                "The certificate of the LDAP server \"%s\" does not match the stored certificate "
                "%s\n",
                server.c_str(), transport.trustFile->c_str());
  } else {
    printAndLog(host, "The certificate of the LDAP server \"%s\" was refused\n", server.c_str());
  }
  return kAlreadyReported;
}

// Waits for a server that is down; false once the attempts are used up.
bool waitForServer(Host& host, const Connection& connection, bool ssl, int& attempts) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (attempts == 0) {
    fputs("Waiting for LDAP server to start on secure port. This may take a few minutes...",
          stdout);
    attempts = 1;
  } else {
    ++attempts;
    fputs(".", stdout);
  }
  host.pause(kBindRetrySeconds);
  if (attempts < kMaxBindAttempts)
    return true;
  fputs("\n", stdout);
  printf(tr("Can't contact LDAP server \"%s\""), connection.server->c_str());
  printf(tr(" on port %d\n"), ssl ? connection.sslPort : connection.ldapPort);
  return false;
}

int storeCapturedCertificate(Host& host, const std::string& server, SessionOutcome& outcome) {
  std::optional<std::string> file = certificateFilePath(server);
  std::string fingerprint;
  int written =
      file ? writeCapturedCertificate(host, server, *file, fingerprint) : kCertificateFileOpen;
  releaseCapturedCertificate();
  if (written == 0)
    outcome.storedFingerprint = fingerprint;
  return written;
}

int bindResult(Host& host, int rc, const Connection& connection, SessionOutcome& outcome) {
  switch (rc) {
    case LDAP_SUCCESS:
      if (outcome.ssl && hasCapturedCertificate())
        return storeCapturedCertificate(host, *connection.server, outcome);
      return 0;
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_CONFIDENTIALITY_REQUIRED:
      fputs(tr("The LDAP server currently does not allow cleartext passwords.\nPlease enable "
               "\"Allow cleartext password\" for the LDAP Group object or use SSL connection and "
               "retry the operation.\n"),
            stdout);
      return kAlreadyReported;
    case LDAP_INVALID_DN_SYNTAX:
      printf(tr("Invalid LDAP DN syntax \"%s\"\n"), connection.adminFdnLocal->c_str());
      return kAlreadyReported;
    default:
      printf(tr("Error:%s "), connection.adminFdnLocal->c_str());
      printf("%s\n", ldapErrorText(rc));
      syslog(LOG_DEBUG, "Error:%s values:host(%s),port(%d),sslport(%d),admin(%s)\n",
             ldapErrorText(rc), connection.server->c_str(), connection.ldapPort, connection.sslPort,
             connection.adminFdnLocal->c_str());
      return kAlreadyReported;
  }
}

// After an SSL bind that found no server: -5999 after reporting when the
// server answered and refused our certificate check or the negotiation (a
// clear port, another protocol), since waiting for it would not help; 0 when
// it did not answer at all.
int reportFailedNegotiation(Host& host, DirectoryRequests& session, const Transport& transport,
                            const Connection& connection, int attempts) {
  bool refused = session.certificateRefused();
  std::string failure = refused ? "" : session.negotiationFailure();
  if (!refused && failure.empty())
    return 0;
  if (attempts > 0)
    fputs("\n", stdout);
  if (refused)
    return reportRefusedCertificate(host, transport, *connection.server);
  printAndLog(host, "The SSL negotiation with the LDAP server \"%s\" on port %d failed: %s\n",
              connection.server->c_str(), connection.sslPort, withoutControlBytes(failure).c_str());
  return kAlreadyReported;
}

int bindSession(Host& host, DirectoryRequests& session, const Transport& transport,
                const Connection& connection, SessionOutcome& outcome) {
  int attempts = 0;
  for (;;) {
    int rc = session.bind(*connection.adminFdn, *connection.password);
    std::string rejection = takeCertificateRejection();
    if (!rejection.empty())
      host.log(rejection);
    if (rc != kLdapServerDown) {
      fputs("\n", stdout);
      return bindResult(host, rc, connection, outcome);
    }
    if (outcome.ssl) {
      rc = reportFailedNegotiation(host, session, transport, connection, attempts);
      if (rc != 0)
        return rc;
    }
    if (!waitForServer(host, connection, outcome.ssl, attempts))
      return kAlreadyReported;
  }
}

// Opens the connection the transport asks for; a failed SSL set-up ends the
// command.
int openConnection(Host& host, DirectoryConnector& connector, const Transport& transport,
                   const Connection& connection, std::unique_ptr<DirectoryRequests>& opened,
                   SessionOutcome& outcome) {
  outcome.ssl = false;
  if (transport.ssl) {
    std::string problem;
    if (connector.openSsl(*connection.server, connection.sslPort, transport.trustFile, opened,
                          problem) == 0) {
      outcome.ssl = true;
      return 0;
    }
    if (transport.trustFile)
      return refuseStoredCertificate(host, *transport.trustFile, *connection.server, problem);
    printAndLog(host, "SSL cannot be set up for the LDAP server \"%s\" on port %d: %s\n",
                connection.server->c_str(), connection.sslPort, problem.c_str());
    return kAlreadyReported;
  }
  host.log("Configuring to non SSL connection");
  if (connector.openClear(*connection.server, connection.ldapPort, opened) != 0) {
    fputs(tr("Unable to contact the directory server\n"), stdout);
    return kCannotContactServer;
  }
  return 0;
}

}  // namespace

int connectDirectory(Host& host, DirectoryConnector& connector, const Transport& transport,
                     Connection& connection, std::unique_ptr<DirectoryRequests>& session,
                     SessionOutcome& outcome) {
  if (!connection.server) {
    connection.server = promptForServer(host);
    if (!connection.server)
      return kAlreadyReported;
  }
  std::unique_ptr<DirectoryRequests> opened;
  int rc = openConnection(host, connector, transport, connection, opened, outcome);
  if (rc != 0)
    return rc;
  if (!ensureAdminName(host, connection) || !ensurePassword(host, connection))
    return kAlreadyReported;
  rc = bindSession(host, *opened, transport, connection, outcome);
  if (rc == 0)
    session = std::move(opened);
  return rc;
}

int refuseStoredCertificate(Host& host, const std::string& file, const std::string& server,
                            const std::string& problem) {
  printAndLog(host,
              "The stored certificate %s of the LDAP server \"%s\" cannot be used: %s. Run "
              "kivconfig -k to fetch it again.\n",
              file.c_str(), server.c_str(), problem.c_str());
  return kAlreadyReported;
}
