#include "directory/certificate.h"

#include <ldap.h>

int fetchServerCertificate() {
  return LDAP_NOT_SUPPORTED;
}
