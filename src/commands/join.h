// The stages of a join, which add runs in full and upgrade composes with its
// own steps.
#ifndef KIVCONFIG_COMMANDS_JOIN_H_
#define KIVCONFIG_COMMANDS_JOIN_H_

#include <memory>
#include <vector>

#include "base/directory_requests.h"
#include "base/host.h"
#include "base/run_settings.h"
#include "config/client_config.h"
#include "directory/session.h"

// Names the directory steps would refuse half-way are refused before the
// first request: the proxy user's FDN and (on add, where the workstation
// context is known) the workstation DN. 0 or the refusal's code.
int checkNamesBeforeWriting(Host& host, JoinMode mode);

// A proxy user given with an empty password is refused (-5999 after the
// message): the daemons would bind without authenticating.
int checkProxyPassword();

// Binds as the admin over the transport the run settings ask for, and keeps
// what the session asked for and decided in the run settings.
int openAdminSession(Host& host, DirectoryConnector& connector,
                     std::unique_ptr<DirectoryRequests>& session);

// The directory work: the server's version, the schema stage, on upgrade
// the workstation context that holds the host's object, then the objects.
// A proxy user that is the admin itself is refused before the first write.
int configureDirectory(DirectoryRequests& directory, Host& host, JoinMode mode);

// The directory work of a join over the admin's session, which is closed
// before returning: 0 or the code of the first stage that failed.
int joinDirectory(Host& host, DirectoryConnector& connector, JoinMode mode);

// After the directory work: writes the store with `extra` values, removes
// kivcd's cache and restarts the daemons. The directory objects stay when
// the store cannot be written; a re-run finds them and completes the join,
// and the daemons keep the old store.
int finishJoin(Host& host, const std::vector<StoreValue>& extra);

#endif  // KIVCONFIG_COMMANDS_JOIN_H_
