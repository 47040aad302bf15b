#include "directory/session.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/ldap_error.h"
#include "base/log.h"
#include "base/messages.h"
#include "base/pause.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/terminal_input.h"
#include "config/store_reader.h"
#include "directory/certificate.h"
#include "directory/ldap_owners.h"
#include "directory/stored_certificate.h"
#include "host/local_files.h"
#include "kiv.h"
#include "ldapssl.h"

namespace {

// The SDK's SSL state and the captured certificate are process-wide.
bool sessionOpen = false;

// A server that does not answer is bound this many times, with a pause of
// kBindRetrySeconds after each attempt.
constexpr int kMaxBindAttempts = 60;
constexpr unsigned kBindRetrySeconds = 5;

struct Transport {
  bool ssl = false;
  std::optional<std::string> trustFile;
  // Whether a failed SSL set-up may go on over a clear connection.
  bool clearFallback = true;
};

// Binding in clear text instead would hand the admin's password to whoever
// answers on the LDAP port of a server that is known to speak SSL.
int refuseStoredCertificate(const std::string& file, const std::string& problem) {
  printAndLog(
      "The stored certificate %s of the LDAP server \"%s\" cannot be used: %s. Run kivconfig -k "
      "to fetch it again.\n",
      file.c_str(), runSettings.ldapServer.value_or("").c_str(), problem.c_str());
  return kAlreadyReported;
}

int chooseFromStore(Transport& transport) {
  std::optional<int> sslPort = readStoreInteger("ldap-ssl-port");
  if (!sslPort)
    return 0;
  runSettings.sslPort = static_cast<uint16_t>(*sslPort);
  std::optional<std::string> file = certificateFilePath(runSettings.ldapServer.value_or(""));
  if (file) {
    std::vector<unsigned char> der;
    std::string problem;
    switch (inspectStoredCertificate(*file, der, problem)) {
      case StoredCertificate::kAbsent:
        break;
      case StoredCertificate::kUnusable:
        return refuseStoredCertificate(*file, problem);
      case StoredCertificate::kUsable:
        runSettings.sslFlag = 1;
        transport = {true, file, false};
        return 0;
    }
  }
  transport.ssl = runSettings.sslFlag != 0;
  return 0;
}

int chooseTransport(ConnectMode mode, Transport& transport) {
  switch (mode) {
    case ConnectMode::kFromStore:
      return chooseFromStore(transport);
    case ConnectMode::kFromRunSettings:
      transport.ssl = runSettings.sslFlag != 0;
      return 0;
    case ConnectMode::kCertificateFetch:
      transport.ssl = true;
      transport.clearFallback = false;
      return 0;
  }
  return 0;
}

bool ensureServer() {
  return runSettings.ldapServer.has_value() || promptForServer();
}

// Makes an SSL handle; nullptr after every failure, with SSL given up and
// `problem` naming the step that failed.
LDAP* openSsl(const Transport& transport, std::string& problem) {
  const char* trustFile = transport.trustFile ? transport.trustFile->c_str() : nullptr;
  int rc = ldapssl_client_init(trustFile, nullptr);
  if (rc != 0) {
    syslog(LOG_ERR, "ldapssl_client_init error: %d\n", rc);
    writeLog("ldapssl_client_init error.");
    runSettings.sslFlag = 0;
    problem = std::string("ldapssl_client_init failed (") + ldapErrorText(rc) + ")";
    return nullptr;
  }
  rc = ldapssl_set_verify_callback(verifyServerCertificate);
  if (rc != 0) {
    printf(tr("ldapssl_set_verify_callback error: %d\n"), rc);
    ldapssl_client_deinit();
    runSettings.sslFlag = 0;
    problem = std::string("ldapssl_set_verify_callback failed (") + ldapErrorText(rc) + ")";
    return nullptr;
  }
  LDAP* handle = ldapssl_init(runSettings.ldapServer->c_str(), runSettings.sslPort, 1);
  if (handle == nullptr) {
    fputs(tr("LDAP SSL initialization error\n"), stdout);
    ldapssl_client_deinit();
    runSettings.sslFlag = 0;
    problem = "ldapssl_init failed for port " + std::to_string(runSettings.sslPort);
  }
  return handle;
}

LDAP* openClear() {
  writeLog("Configuring to non SSL connection");
  return ldap_init(runSettings.ldapServer->c_str(), runSettings.ldapPort);
}

// Fills the admin's name in both forms. False after a message when no usable
// name was typed or it cannot be had in UTF-8, since binding with a wrong
// name would be worse.
bool ensureAdminName() {
  std::vector<char> converted(kNameBufferSize);
  if (!runSettings.adminFdn) {
    fputs(tr("Admin Name:"), stdout);
    fflush(stdout);
    std::string typed;
    WordStatus status = readWord(stdin, typed, kNameBufferSize - 1);
    if (status == WordStatus::kEndOfInput) {
      fputs(tr("Invalid entry\n"), stdout);
      return false;
    }
    if (status == WordStatus::kTooLong) {
      printf(tr("The name is too long: at most %d bytes are accepted\n"),
             static_cast<int>(kNameBufferSize - 1));
      return false;
    }
    if (locs2utfs(converted.data(), typed.c_str(), converted.size()) < 0) {
      fputs(tr("Error while converting admin name from local to utf8 format\n"), stdout);
      return false;
    }
    runSettings.adminFdnLocal = typed;
    runSettings.adminFdn = converted.data();
  } else if (!runSettings.adminFdnLocal) {
    if (utfs2locs(converted.data(), runSettings.adminFdn->c_str(), converted.size()) < 0) {
      fputs(tr("Error while converting admin name from local to utf8 format\n"), stdout);
      runSettings.adminFdnLocal = runSettings.adminFdn;
    } else {
      runSettings.adminFdnLocal = converted.data();
    }
  }
  return true;
}

bool ensurePassword() {
  if (runSettings.password)
    return true;
  const char* fromEnvironment = getenv("PELK_PWD");
  if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
    runSettings.password = fromEnvironment;
    return true;
  }
  std::vector<char> prompt(kNameBufferSize);
  snprintf(prompt.data(), prompt.size(), tr("Enter the admin(%s) password:"),
           runSettings.adminFdnLocal->c_str());
  const char* typed = getpass(prompt.data());
  if (typed == nullptr) {
    fputs(tr("Unable to read the password\n"), stdout);
    return false;
  }
  runSettings.password = typed;
  return true;
}

// The handshake refused the server's certificate: the server answers, so
// waiting for it would not help.
bool certificateRefused(LDAP* handle) {
  char* message = nullptr;
  if (ldap_get_option(handle, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) != LDAP_OPT_SUCCESS) {
    return false;
  }
  LdapStringPtr owner(message);
  return message != nullptr && strcmp(message, LDAPSSL_CERT_REFUSED_MESSAGE) == 0;
}

int reportRefusedCertificate(const Transport& transport) {
  if (transport.trustFile) {
    printAndLog(
        "The certificate of the LDAP server \"%s\" does not match the stored certificate %s\n",
        runSettings.ldapServer->c_str(), transport.trustFile->c_str());
  } else {
    printAndLog("The certificate of the LDAP server \"%s\" was refused\n",
                runSettings.ldapServer->c_str());
  }
  return kAlreadyReported;
}

// Waits for a server that is down; false once the attempts are used up.
bool waitForServer(int& attempts) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (attempts == 0) {
    fputs("Waiting for LDAP server to start on secure port. This may take a few minutes...",
          stdout);
    attempts = 1;
  } else {
    ++attempts;
    fputs(".", stdout);
  }
  pauseSeconds(kBindRetrySeconds);
  if (attempts < kMaxBindAttempts)
    return true;
  fputs("\n", stdout);
  printf(tr("Can't contact LDAP server \"%s\""), runSettings.ldapServer->c_str());
  printf(tr(" on port %d\n"),
         runSettings.sslFlag != 0 ? runSettings.sslPort : runSettings.ldapPort);
  return false;
}

int bindResult(int rc, std::optional<std::string>& storedFingerprint) {
  switch (rc) {
    case LDAP_SUCCESS:
      if (runSettings.sslFlag != 0 && hasCapturedCertificate()) {
        std::optional<std::string> file = certificateFilePath(*runSettings.ldapServer);
        std::string fingerprint;
        int written = file ? writeCapturedCertificate(*file, fingerprint) : kCertificateFileOpen;
        releaseCapturedCertificate();
        if (written == 0)
          storedFingerprint = fingerprint;
        return written;
      }
      return 0;
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_CONFIDENTIALITY_REQUIRED:
      fputs(tr("The LDAP server currently does not allow cleartext passwords.\nPlease enable "
               "\"Allow cleartext password\" for the LDAP Group object or use SSL connection and "
               "retry the operation.\n"),
            stdout);
      return kAlreadyReported;
    case LDAP_INVALID_DN_SYNTAX:
      printf(tr("Invalid LDAP DN syntax \"%s\"\n"), runSettings.adminFdnLocal->c_str());
      return kAlreadyReported;
    default:
      printf(tr("Error:%s "), runSettings.adminFdnLocal->c_str());
      printf("%s\n", ldapErrorText(rc));
      syslog(LOG_DEBUG, "Error:%s values:host(%s),port(%d),sslport(%d),admin(%s)\n",
             ldapErrorText(rc), runSettings.ldapServer->c_str(), runSettings.ldapPort,
             runSettings.sslPort, runSettings.adminFdnLocal->c_str());
      return kAlreadyReported;
  }
}

int bindSession(DirectorySession& session, LDAP* handle, const Transport& transport,
                std::optional<std::string>& storedFingerprint) {
  int attempts = 0;
  for (;;) {
    int rc = session.bind(*runSettings.adminFdn, *runSettings.password);
    if (rc == kLdapServerDown && runSettings.sslFlag != 0 && certificateRefused(handle)) {
      if (attempts > 0)
        fputs("\n", stdout);
      return reportRefusedCertificate(transport);
    }
    if (rc != kLdapServerDown) {
      fputs("\n", stdout);
      return bindResult(rc, storedFingerprint);
    }
    if (!waitForServer(attempts))
      return kAlreadyReported;
  }
}

}  // namespace

int connectDirectory(ConnectMode mode, std::unique_ptr<DirectorySession>& session) {
  if (sessionOpen) {
    fputs("connectDirectory: a directory session is already open\n", stderr);
    abort();
  }
  int version = LDAP_VERSION3;
  ldap_set_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &version);
  Transport transport;
  int rc = chooseTransport(mode, transport);
  if (rc != 0)
    return rc;
  if (!ensureServer())
    return kAlreadyReported;
  releaseCapturedCertificate();
  LDAP* handle = nullptr;
  if (transport.ssl) {
    std::string problem;
    handle = openSsl(transport, problem);
    if (handle == nullptr && !transport.clearFallback) {
      return transport.trustFile ? refuseStoredCertificate(*transport.trustFile, problem)
                                 : reportNoCertificateReceived();
    }
  }
  if (handle == nullptr)
    handle = openClear();
  if (handle == nullptr) {
    ldapssl_client_deinit();
    fputs(tr("Unable to contact the directory server\n"), stdout);
    return kCannotContactServer;
  }
  auto opened = std::make_unique<DirectorySession>(handle);
  if (!ensureAdminName() || !ensurePassword())
    return kAlreadyReported;
  rc = bindSession(*opened, handle, transport, opened->storedFingerprint_);
  if (rc == 0)
    session = std::move(opened);
  return rc;
}

DirectorySession::DirectorySession(LDAP* handle) : handle_(handle) {
  sessionOpen = true;
}

DirectorySession::~DirectorySession() {
  ldap_unbind_ext_s(handle_, nullptr, nullptr);
  ldapssl_client_deinit();
  releaseCapturedCertificate();
  sessionOpen = false;
}
