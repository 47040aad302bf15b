#include "commands/admin_session.h"

#include "base/run_settings.h"

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
