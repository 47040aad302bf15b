// The admin's session as the commands open it.
#ifndef KIVCONFIG_COMMANDS_ADMIN_SESSION_H_
#define KIVCONFIG_COMMANDS_ADMIN_SESSION_H_

#include <memory>

#include "base/directory_requests.h"
#include "base/host.h"
#include "directory/session.h"

// Binds over `transport` with the run settings' server, ports, admin and
// password, and keeps in the run settings what the session asked for.
int connectAsAdmin(Host& host, DirectoryConnector& connector, const Transport& transport,
                   std::unique_ptr<DirectoryRequests>& session, SessionOutcome& outcome);

#endif  // KIVCONFIG_COMMANDS_ADMIN_SESSION_H_
