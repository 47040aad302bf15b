// The directory session: the one bound LDAP connection of a run.
#ifndef KIVCONFIG_DIRECTORY_SESSION_H_
#define KIVCONFIG_DIRECTORY_SESSION_H_

#include <ldap.h>

// Opens and binds the session. Mode 1 takes the SSL choice from the run
// settings; mode 0 derives it from the stored configuration. Returns 0 or a
// result code.
int connectDirectory(int mode);

// Unbinds the session and releases the SSL state; always both.
void disconnectDirectory();

// The bound session, or nullptr outside connectDirectory..disconnectDirectory.
LDAP* directorySession();

// Tests and tools bind by other means and hand their handle over here; the
// caller keeps ownership.
void useDirectorySession(LDAP* session);

#endif  // KIVCONFIG_DIRECTORY_SESSION_H_
