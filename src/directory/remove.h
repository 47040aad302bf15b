// The rm command: takes the host out of the directory.
//
// The partition root, the admin's name (unless -a gave one), the server, its
// port and the schema flavour come from the store. The host's Workstation
// object is deleted from the first context of the Config object that holds
// it; that context is withdrawn from the Config object when no Workstation
// object is left in it; and a Config object serving one context that is now
// empty is deleted. Only when all of that succeeded are the daemons stopped
// and the local files, the store included, removed.
#ifndef KIVCONFIG_DIRECTORY_REMOVE_H_
#define KIVCONFIG_DIRECTORY_REMOVE_H_

#include "base/directory_requests.h"

// Returns 0, or the result code of the step that failed: -6004 when the
// store lacks a value needed, the connection's code, or removeHostObjects'.
int deconfigure();

// The directory part, over `directory` with the names of the run settings'
// schema flavour. Prints a progress line for each object deleted. Returns 0,
// -1 when the host name cannot be read, findConfigObject's code, or the LDAP
// code of the first request that failed (objects deleted before it stay
// deleted).
int removeHostObjects(DirectoryRequests& directory);

#endif  // KIVCONFIG_DIRECTORY_REMOVE_H_
