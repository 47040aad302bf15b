// Owners for what libldap hands out, so that every result, value list,
// attribute cursor and string is released on every path.
#ifndef KIVCONFIG_DIRECTORY_LDAP_OWNERS_H_
#define KIVCONFIG_DIRECTORY_LDAP_OWNERS_H_

#include <ldap.h>

#include <memory>

struct LdapMessageRelease {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using LdapMessagePtr = std::unique_ptr<LDAPMessage, LdapMessageRelease>;

struct LdapValuesRelease {
  void operator()(char** values) const { ldap_value_free(values); }
};
using LdapValuesPtr = std::unique_ptr<char*, LdapValuesRelease>;

struct BervalsRelease {
  void operator()(berval** values) const { ldap_value_free_len(values); }
};
using BervalsPtr = std::unique_ptr<berval*, BervalsRelease>;

struct BerCursorRelease {
  void operator()(BerElement* cursor) const { ber_free(cursor, 0); }
};
using BerCursorPtr = std::unique_ptr<BerElement, BerCursorRelease>;

struct LdapMemoryRelease {
  void operator()(char* text) const { ldap_memfree(text); }
};
using LdapStringPtr = std::unique_ptr<char, LdapMemoryRelease>;

struct LdapDnRelease {
  void operator()(LDAPRDN* dn) const { ldap_dnfree(dn); }
};
using LdapDnPtr = std::unique_ptr<LDAPRDN, LdapDnRelease>;

#endif  // KIVCONFIG_DIRECTORY_LDAP_OWNERS_H_
