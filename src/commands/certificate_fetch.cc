// -k: the server's certificate fetched again over SSL and stored.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "commands/admin_session.h"
#include "commands/commands.h"
#include "directory/certificate.h"
#include "directory/stored_certificate.h"
#include "host/local_files.h"

namespace {

// The fingerprint of whatever regular file is stored for the server now,
// certificate or not, so that a change can be told.
std::optional<std::string> storedFingerprint(const std::string& server) {
  std::optional<std::string> file = certificateFilePath(server);
  if (!file)
    return std::nullopt;
  std::vector<unsigned char> der;
  std::string problem;
  inspectStoredCertificate(*file, der, problem);
  if (der.empty())
    return std::nullopt;
  return sha256Fingerprint(der.data(), der.size());
}

std::string formatted(const char* format, const std::string& first, const std::string& second = "",
                      const std::string& third = "") {
  int length = snprintf(nullptr, 0, format, first.c_str(), second.c_str(), third.c_str());
  if (length < 0)
    return "";
  std::string text(static_cast<size_t>(length), '\0');
  snprintf(text.data(), text.size() + 1, format, first.c_str(), second.c_str(), third.c_str());
  return text;
}

// An administrator sees a changed server at once, not later in the log.
std::string describeStored(Host& host, const std::string& server,
                           const std::optional<std::string>& before, const std::string& stored) {
  if (!before || *before == stored) {
    return formatted(tr("SHA-256 fingerprint of the stored certificate: %s\n"), stored);
  }
  host.log("The stored certificate of the LDAP server " + server +
           " was replaced by a different one: old SHA-256 fingerprint " + *before + ", new " +
           stored);
  return formatted(tr("The certificate of the LDAP server \"%s\" has changed; the stored "
                      "certificate was replaced.\nOld SHA-256 fingerprint: %s\nNew SHA-256 "
                      "fingerprint: %s\n"),
                   server, *before, stored);
}

// The server, the admin and the SSL port come from the store; -l names
// another SSL port.
int takeStoredSettings(Host& host) {
  int rc = takeStoredServer(host);
  if (rc != 0)
    return rc;
  // Without a stored admin the prompt asks for one.
  (void)takeStoredAdmin(host);
  if (runSettings.sslFlag != 0)
    return 0;
  std::optional<int> sslPort = host.readStoreInteger("ldap-ssl-port");
  if (!sslPort || *sslPort <= 0)
    return kNoSslPort;
  runSettings.sslPort = static_cast<uint16_t>(*sslPort);
  runSettings.sslFlag = 1;
  return 0;
}

}  // namespace

int fetchServerCertificate(Host& host, DirectoryConnector& connector, std::string& details) {
  int rc = takeStoredSettings(host);
  if (rc != 0)
    return rc;
  const std::string server = *runSettings.ldapServer;
  std::optional<std::string> before = storedFingerprint(server);
  // -k exists only to fetch the certificate over SSL: never a clear bind.
  Transport transport{true, std::nullopt};
  std::unique_ptr<DirectoryRequests> session;
  SessionOutcome outcome;
  rc = connectAsAdmin(host, connector, transport, session, outcome);
  if (rc != 0)
    return rc;
  // The SDK decides whether the verify callback runs; without it nothing was
  // captured or stored.
  if (!outcome.storedFingerprint)
    return reportNoCertificateReceived(host);
  details = describeStored(host, server, before, *outcome.storedFingerprint);
  return 0;
}
