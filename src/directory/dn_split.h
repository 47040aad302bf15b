// DNs taken apart into their RDNs by libldap's DN parser, so that escaped
// separators ("ou=Sales\, EMEA") stay inside their RDN.
#ifndef KIVCONFIG_DIRECTORY_DN_SPLIT_H_
#define KIVCONFIG_DIRECTORY_DN_SPLIT_H_

#include <string>
#include <vector>

struct RdnPart {
  std::string rdn;      // this RDN in string form
  std::string levelDn;  // this RDN and every RDN above it: the DN of its entry
  std::string type;     // the attribute type of its first value, as spelled
  std::string value;    // its first value, unescaped
  bool multiValued;     // joins more than one attribute value with "+"
};

// Splits `dn` into its RDNs, the first RDN of the DN first. The RDN and level
// strings keep the spelling of `dn` (escapes included), without the blanks
// that may follow a separator. Returns 0, or -1 when `dn` is not a DN in
// LDAPv3 string form. The empty DN gives no RDN.
int splitDn(const std::string& dn, std::vector<RdnPart>& rdns);

// Whether two DNs name the same entry: their RDNs' types and values (after
// unescaping) are equal without regard to case, whatever the spacing
// between them. A DN that cannot be parsed equals nothing.
bool sameDn(const std::string& first, const std::string& second);

#endif  // KIVCONFIG_DIRECTORY_DN_SPLIT_H_
