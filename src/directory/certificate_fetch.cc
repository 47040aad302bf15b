#include "directory/certificate_fetch.h"

#include <memory>
#include <optional>
#include <string>

#include "base/log.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "config/store_reader.h"
#include "directory/session.h"

int fetchServerCertificate() {
  std::optional<std::string> server = readStoreText("preferred-server");
  if (!server)
    return kNotConfigured;
  runSettings.ldapServer = server;
  std::optional<std::string> admin = readStoreDn("admin-fdn");
  if (admin)
    runSettings.adminFdn = admin;
  if (runSettings.sslFlag == 0) {
    std::optional<int> sslPort = readStoreInteger("ldap-ssl-port");
    if (!sslPort || *sslPort <= 0)
      return kNoSslPort;
    runSettings.sslPort = static_cast<uint16_t>(*sslPort);
    runSettings.sslFlag = 1;
  }
  std::unique_ptr<DirectorySession> session;
  int rc = connectDirectory(ConnectMode::kFromRunSettings, session);
  // A bind that fell back to a clear connection received no certificate.
  if (rc == 0 && !session->certificateStored()) {
    printAndLog(
        "No certificate was received from the LDAP server; the certificate file was not "
        "updated.\n");
    return kAlreadyReported;
  }
  return rc;
}
