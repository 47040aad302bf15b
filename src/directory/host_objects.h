// The Unix Config object (one per partition root, listing the workstation
// contexts in use) and the Unix Workstation object (one per host).
#ifndef KIVCONFIG_DIRECTORY_HOST_OBJECTS_H_
#define KIVCONFIG_DIRECTORY_HOST_OBJECTS_H_

#include <string>
#include <vector>

#include "base/directory_requests.h"
#include "base/run_settings.h"

// The class and attribute names of both objects in one schema flavour.
struct ObjectNames {
  const char* configClass;
  const char* workstationClass;
  const char* contextsAttribute;
};
const ObjectNames& objectNames(SchemaFlavour flavour);

// Adds the Unix Config object under the run settings' partition root and
// sets `configDn` to its DN; an existing object counts as success. Prints
// the progress line and logs the outcome. Returns 0 or the LDAP code.
int createConfigObject(DirectoryRequests& directory, std::string& configDn);

// Adds the host's Workstation object at `workstationDn` and, when it was
// made anew, grants it its trustee rights. An existing object is kept, or
// with -o (the run settings' overwrite count) deleted and made once more.
// Returns 0 or the LDAP code.
int createWorkstationObject(DirectoryRequests& directory, const std::string& workstationDn);

// Adds the run settings' workstation context to the Config object's
// workstation contexts; a value already there counts as success.
int addWorkstationContext(DirectoryRequests& directory, const std::string& configDn);

// Finds the Config object under the run settings' partition root with the
// names of the run settings' schema flavour. Returns 0 with its DN and its
// workstation-context values in their stored order, -6004 when the
// partition root or (RFC 2307 flavour) the object does not exist, -6027
// when the object does not exist in the corvex flavour, -6015 when it lists
// no context, or the LDAP code of a failed search. `contextsAttribute`,
// when given, receives the name of the attribute that holds the contexts, so
// that a context is withdrawn from where it was found.
int findConfigObject(DirectoryRequests& directory, std::vector<std::string>& contexts,
                     std::string& configDn, std::string* contextsAttribute = nullptr);

// Upgrade: finds the context listed in the Config object that holds this
// host's Workstation object, trying them in their stored order, and makes it
// the run settings' workstation context. Returns 0, -1 when the host name
// cannot be read, findConfigObject's code, -6029 when no context holds the
// object, or the LDAP code of the first failed search.
int findWorkstationContext(DirectoryRequests& directory);

#endif  // KIVCONFIG_DIRECTORY_HOST_OBJECTS_H_
