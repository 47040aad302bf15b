#include "directory/add.h"

#include <ldap.h>

// The directory provisioning is not built yet; the command says so rather
// than pretend to succeed.
int runAdd(JoinMode) {
  return LDAP_NOT_SUPPORTED;
}
