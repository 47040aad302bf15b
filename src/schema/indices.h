// The id mappings removed from, and the id indices added to, the directory.
#ifndef KIVCONFIG_SCHEMA_INDICES_H_
#define KIVCONFIG_SCHEMA_INDICES_H_

#include "base/directory_requests.h"
#include "base/host.h"

// Deletes the definitions that map gidNumber and uidNumber to the
// directory's own GID and UID, then asks the server to refresh its schema.
// Returns 0 or an LDAP result code; nothing is reported for a refusal.
int deleteIdMappings(DirectoryRequests& directory);

// Defines value indices for gidNumber and uidNumber on the server's own entry
// and asks the server to complete them. Reports its outcome; never fails the
// caller.
void addIdIndices(DirectoryRequests& directory, Host& host);

#endif  // KIVCONFIG_SCHEMA_INDICES_H_
