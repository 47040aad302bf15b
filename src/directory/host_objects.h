// The Unix Config object (one per partition root, listing the workstation
// contexts in use) and the Unix Workstation object (one per host).
#ifndef KIVCONFIG_DIRECTORY_HOST_OBJECTS_H_
#define KIVCONFIG_DIRECTORY_HOST_OBJECTS_H_

#include <string>
#include <vector>

#include "base/directory_requests.h"
#include "base/host.h"
#include "base/run_settings.h"

// The class and attribute names of both objects in one schema flavour.
struct ObjectNames {
  const char* configClass;
  const char* workstationClass;
  const char* contextsAttribute;
};
const ObjectNames& objectNames(SchemaFlavour flavour);

// Adds the Unix Config object under `partitionRoot` and sets `configDn` to
// its DN; an existing object counts as success. Prints the progress line and
// logs the outcome. Returns 0 or the LDAP code.
int createConfigObject(DirectoryRequests& directory, Host& host, const std::string& partitionRoot,
                       std::string& configDn);

// Adds the host's Workstation object at `workstationDn` and, when it was
// made anew, grants it its trustee rights on `partitionRoot`. An existing
// object is kept, or with `overwrite` (-o) deleted and made once more.
// Returns 0 or the LDAP code.
int createWorkstationObject(DirectoryRequests& directory, Host& host,
                            const std::string& partitionRoot, const std::string& workstationDn,
                            bool overwrite);

// Adds `context` to the Config object's workstation contexts; a value
// already there counts as success.
int addWorkstationContext(DirectoryRequests& directory, const std::string& configDn,
                          const std::string& context);

// Finds the Config object under `partitionRoot` with the names of schema
// flavour `flavour`. Returns 0 with its DN and its
// workstation-context values in their stored order, -6004 when the
// partition root or (RFC 2307 flavour) the object does not exist, -6027
// when the object does not exist in the corvex flavour, -6015 when it lists
// no context, or the LDAP code of a failed search. `contextsAttribute`,
// when given, receives the name of the attribute that holds the contexts, so
// that a context is withdrawn from where it was found.
int findConfigObject(DirectoryRequests& directory, SchemaFlavour flavour,
                     const std::string& partitionRoot, std::vector<std::string>& contexts,
                     std::string& configDn, std::string* contextsAttribute = nullptr);

// Upgrade: finds the context listed in the Config object under
// `partitionRoot` that holds this host's Workstation object, trying them in
// their stored order, and hands it out in `context`. Returns 0, -1 when the host name
// cannot be read, findConfigObject's code, -6029 when no context holds the
// object, or the LDAP code of the first failed search.
int findWorkstationContext(DirectoryRequests& directory, Host& host,
                           const std::string& partitionRoot, std::string& context);

#endif  // KIVCONFIG_DIRECTORY_HOST_OBJECTS_H_
