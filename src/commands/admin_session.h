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

// The stored "preferred-server" as the run settings' server, checked as -S
// is checked. 0, -6004 when it is missing, or -5999 after reporting a name
// that is refused.
int takeStoredServer(Host& host);

// The stored "admin-fdn" as the run settings' admin, with its local form for
// the prompts. 0, or -6004 when it is missing.
int takeStoredAdmin(Host& host);

#endif  // KIVCONFIG_COMMANDS_ADMIN_SESSION_H_
