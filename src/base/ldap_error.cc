#include "base/ldap_error.h"

#include <ldap.h>

int ldapResultCode(int libldapCode) {
  switch (libldapCode) {
    case LDAP_SERVER_DOWN:
      return kLdapServerDown;
    case LDAP_CONNECT_ERROR:
      return kLdapConnectError;
    default:
      return libldapCode;
  }
}

const char* ldapErrorText(int code) {
  switch (code) {
    case kLdapServerDown:
      return ldap_err2string(LDAP_SERVER_DOWN);
    case kLdapConnectError:
      return ldap_err2string(LDAP_CONNECT_ERROR);
    default:
      return ldap_err2string(code);
  }
}
