// LDAP result codes as the program sees them.
//
// libldap reports a server that does not answer as -1 and a failed connect
// as -11; the program, its messages and its callers know these as 81 (server
// down) and 91 (connect error). Every code coming back from libldap passes
// through ldapResultCode once, and every text for a code comes from
// ldapErrorText.
#ifndef KIVCONFIG_BASE_LDAP_ERROR_H_
#define KIVCONFIG_BASE_LDAP_ERROR_H_

constexpr int kLdapServerDown = 81;
constexpr int kLdapConnectError = 91;

int ldapResultCode(int libldapCode);

// The library's text for `code`, 81 and 91 included.
const char* ldapErrorText(int code);

#endif  // KIVCONFIG_BASE_LDAP_ERROR_H_
