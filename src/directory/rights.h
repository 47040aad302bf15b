// Directory rights granted on the partition root: values of its "ACL"
// attribute, each "<privileges>#<scope>#<trustee>#<attribute>". Grants only
// add values; none replaces or removes any.
#ifndef KIVCONFIG_DIRECTORY_RIGHTS_H_
#define KIVCONFIG_DIRECTORY_RIGHTS_H_

#include <string>

#include "base/directory_requests.h"
#include "base/host.h"

// Grants the public trustee its rights to the Unix attributes below
// `partitionRoot`. Returns 0 when the values were added or were all
// there already, else the LDAP code; prints and logs nothing.
int setPartitionRootRights(DirectoryRequests& directory, const std::string& partitionRoot);

// Makes the Workstation object at `workstationDn` a trustee of
// `partitionRoot` for the three account-state attributes. The outcome is only logged:
// values already present make the directory refuse the grant, which is then
// logged as failed.
void grantWorkstationTrustee(DirectoryRequests& directory, Host& host,
                             const std::string& partitionRoot, const std::string& workstationDn);

#endif  // KIVCONFIG_DIRECTORY_RIGHTS_H_
