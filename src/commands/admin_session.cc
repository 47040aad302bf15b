#include "commands/admin_session.h"

#include "base/messages.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/server_name.h"
#include "base/terminal_input.h"

int connectAsAdmin(Host& host, DirectoryConnector& connector, const Transport& transport,
                   std::unique_ptr<DirectoryRequests>& session, SessionOutcome& outcome) {
  Connection connection{runSettings.ldapServer, runSettings.ldapPort,      runSettings.sslPort,
                        runSettings.adminFdn,   runSettings.adminFdnLocal, runSettings.password};
  int rc = connectDirectory(host, connector, transport, connection, session, outcome);
  runSettings.ldapServer = connection.server;
  runSettings.adminFdn = connection.adminFdn;
  runSettings.adminFdnLocal = connection.adminFdnLocal;
  runSettings.password = connection.password;
  return rc;
}

int takeStoredServer(Host& host) {
  std::optional<std::string> server = host.readStoreText("preferred-server", false);
  if (!server)
    return kNotConfigured;
  if (!isValidServerName(*server)) {
    reportInvalidServerName(host, *server);
    return kAlreadyReported;
  }
  runSettings.ldapServer = server;
  return 0;
}

int takeStoredAdmin(Host& host) {
  std::optional<std::string> admin = host.readStoreText("admin-fdn", true);
  if (!admin)
    return kNotConfigured;
  runSettings.adminFdn = admin;
  runSettings.adminFdnLocal =
      localFormOf(*admin, tr("Error converting admin FDN from UTF8 to local string\n"));
  return 0;
}
