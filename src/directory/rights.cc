#include "directory/rights.h"

#include <ldap.h>

#include <vector>

#include "base/ldap_error.h"

namespace {

const std::vector<std::string> kPartitionRootValues = {
    "1#entry#[Public]#[Entry Rights]",
    "3#subtree#[Public]#uidNumber",
    "3#subtree#[Public]#gidNumber",
    "3#subtree#[Public]#homeDirectory",
    "3#subtree#[Public]#loginShell",
    "3#subtree#[Public]#gecos",
    "3#subtree#[Public]#memberUid",
    "3#subtree#[Public]#description",
    "3#subtree#[Public]#qupPosixWorkstationList",
    "3#subtree#[Public]#qupPosixWorkstationContexts",
    "3#subtree#[Public]#qupPosixSalt",
};

// The server knows the last one by this spelling, capital L included.
constexpr const char* kTrusteeAttributes[] = {"passwordExpirationTime", "loginDisabled",
                                              "LoginExpirationTime"};

int addAclValues(DirectoryRequests& directory, const std::string& partitionRoot,
                 std::vector<std::string> values) {
  Modifications modifications;
  modifications.add(LDAP_MOD_ADD, "ACL", std::move(values));
  return directory.modify(partitionRoot, modifications.get());
}

}  // namespace

int setPartitionRootRights(DirectoryRequests& directory, const std::string& partitionRoot) {
  int rc = addAclValues(directory, partitionRoot, kPartitionRootValues);
  return rc == LDAP_TYPE_OR_VALUE_EXISTS ? 0 : rc;
}

void grantWorkstationTrustee(DirectoryRequests& directory, Host& host,
                             const std::string& partitionRoot, const std::string& workstationDn) {
  std::vector<std::string> values;
  for (const char* attribute : kTrusteeAttributes)
    values.push_back("3#subtree#" + workstationDn + "#" + attribute);
  int rc = addAclValues(directory, partitionRoot, std::move(values));
  if (rc == 0) {
    host.log("Giving the Workstation object as trustee to the partition root is done");
  } else {
    host.log(std::string("Giving the Workstation object as trustee to the partition root is "
                         "failed:") +
             ldapErrorText(rc));
  }
}
