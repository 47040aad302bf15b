#include "directory/remove.h"

#include <ldap.h>

// Removal is not built yet; the command says so rather than pretend to
// succeed.
int deconfigure() {
  return LDAP_NOT_SUPPORTED;
}
