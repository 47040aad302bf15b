#include "directory/proxy_user.h"

#include <ldap.h>
#include <strings.h>

#include <vector>

#include "base/log.h"
#include "base/result_codes.h"
#include "directory/dn_split.h"

int proxyUserName(Host& host, const std::string& proxyFdn, std::string& name) {
  std::vector<RdnPart> rdns;
  if (splitDn(proxyFdn, rdns) != 0 || rdns.empty() || rdns.front().multiValued ||
      strcasecmp(rdns.front().type.c_str(), "cn") != 0 || rdns.front().value.empty()) {
    printAndLog(host, "The proxy user FDN \"%s\" must begin with cn=<name>\n", proxyFdn.c_str());
    return kAlreadyReported;
  }
  name = rdns.front().value;
  return 0;
}

int createProxyUser(DirectoryRequests& directory, Host& host, const std::string& proxyFdn,
                    const std::string& proxyPassword) {
  std::string name;
  int rc = proxyUserName(host, proxyFdn, name);
  if (rc != 0)
    return rc;
  Modifications entry;
  entry.add(LDAP_MOD_ADD, "cn", {name})
      .add(LDAP_MOD_ADD, "sn", {name})
      .add(LDAP_MOD_ADD, "uniqueID", {name})
      .add(LDAP_MOD_ADD, "userPassword", {proxyPassword})
      .add(LDAP_MOD_ADD, "objectClass", {"inetOrgPerson", "top"});
  rc = directory.add(proxyFdn, entry.get());
  if (rc != LDAP_ALREADY_EXISTS)
    return rc;
  Modifications password;
  password.add(LDAP_MOD_REPLACE, "userPassword", {proxyPassword});
  return directory.modify(proxyFdn, password.get());
}
