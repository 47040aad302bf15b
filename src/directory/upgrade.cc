#include "directory/upgrade.h"

#include <ldap.h>

// The migration is not built yet; the command says so rather than pretend to
// succeed.
int upgradeFromOldConfig() {
  return LDAP_NOT_SUPPORTED;
}
