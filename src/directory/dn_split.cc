#include "directory/dn_split.h"

#include <ldap.h>
#include <strings.h>

#include "directory/ldap_owners.h"

namespace {

// Where each RDN of `dn` begins. Only called for a DN the parser accepted:
// LDAPv3 string form has no quoted values, so every "," that is not escaped
// by a backslash ends an RDN.
std::vector<size_t> rdnStarts(const std::string& dn) {
  std::vector<size_t> starts = {0};
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] == '\\')
      ++i;
    else if (dn[i] == ',')
      starts.push_back(i + 1);
  }
  return starts;
}

std::string withoutLeadingBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first);
}

}  // namespace

int splitDn(const std::string& dn, std::vector<RdnPart>& rdns) {
  rdns.clear();
  LDAPDN raw = nullptr;
  if (ldap_str2dn(dn.c_str(), &raw, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
    return -1;
  LdapDnPtr parsed(raw);
  std::vector<size_t> starts = rdnStarts(dn);
  for (size_t i = 0; parsed != nullptr && parsed.get()[i] != nullptr; ++i) {
    if (i >= starts.size())
      return -1;
    const LDAPRDN rdn = parsed.get()[i];
    size_t end = i + 1 < starts.size() ? starts[i + 1] - 1 : dn.size();
    rdns.push_back({withoutLeadingBlanks(dn.substr(starts[i], end - starts[i])),
                    withoutLeadingBlanks(dn.substr(starts[i])),
                    std::string(rdn[0]->la_attr.bv_val, rdn[0]->la_attr.bv_len),
                    std::string(rdn[0]->la_value.bv_val, rdn[0]->la_value.bv_len),
                    rdn[1] != nullptr});
  }
  return rdns.empty() || rdns.size() == starts.size() ? 0 : -1;
}

bool sameDn(const std::string& first, const std::string& second) {
  std::vector<RdnPart> a;
  std::vector<RdnPart> b;
  if (splitDn(first, a) != 0 || splitDn(second, b) != 0 || a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].multiValued || b[i].multiValued)
      return strcasecmp(first.c_str(), second.c_str()) == 0;
    if (strcasecmp(a[i].type.c_str(), b[i].type.c_str()) != 0 ||
        strcasecmp(a[i].value.c_str(), b[i].value.c_str()) != 0) {
      return false;
    }
  }
  return true;
}
