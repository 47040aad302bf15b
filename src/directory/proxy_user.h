// The proxy user of the account services: an entry named by its FDN, with
// the password the host's clients bind with. No rights are granted to it.
#ifndef KIVCONFIG_DIRECTORY_PROXY_USER_H_
#define KIVCONFIG_DIRECTORY_PROXY_USER_H_

#include <string>

#include "base/directory_requests.h"
#include "base/host.h"

// The name of the proxy user: the unescaped value of the FDN's first RDN,
// which must read cn=<name> with a name that is not empty. Otherwise prints
// and logs why the FDN is refused and returns -5999.
int proxyUserName(Host& host, const std::string& proxyFdn, std::string& name);

// Adds the proxy user at `proxyFdn` with cn, sn and uniqueID set to its
// name; when it exists already, replaces only its password. Returns 0,
// proxyUserName's -5999, or the LDAP code of the add or the modify. Prints
// nothing else.
int createProxyUser(DirectoryRequests& directory, Host& host, const std::string& proxyFdn,
                    const std::string& proxyPassword);

#endif  // KIVCONFIG_DIRECTORY_PROXY_USER_H_
