// The partition root (home of the Unix Config object) and the workstation
// context (home of the host's Workstation object): checked to be containers,
// the missing part of their DN chain created, and then the object steps run
// in their fixed order. An empty name stands for the tree root, where the
// schema must allow the object's class.
#ifndef KIVCONFIG_DIRECTORY_CONTEXTS_H_
#define KIVCONFIG_DIRECTORY_CONTEXTS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/directory_requests.h"
#include "base/host.h"

// The object steps take workstation DNs of at most this many bytes.
constexpr size_t kMaxWorkstationDnLength = 255;

// The host's workstation DN under `context`. Returns 0; -1 after printing
// the system's error when the host name cannot be read; -5999 after printing
// and logging that the DN is too long.
int formWorkstationDn(Host& host, const std::string& context, std::string& dn);

// The two contexts the objects go into.
enum class ContextRole { kPartitionRoot, kWorkstationContext };

// Makes `dn` ready to hold the object of `role`: an empty DN (the tree root)
// must allow the object's class; any other is created where it is missing.
// Returns 0, or -5999 after saying why (invalid syntax, not a container for
// the object), or createContext's code.
int prepareContext(DirectoryRequests& directory, Host& host, ContextRole role,
                   const std::string& dn);

// 0 when `dn` names a container or its missing levels were created, top
// down; 34 for a DN in invalid syntax; -6016 or -6017 from the container test
// or -6016 when the DN cannot be taken apart; -6021 for a level whose RDN
// type has no container class, or that joins several values; otherwise the
// LDAP code of the failing request. A level that appears meanwhile (68 on
// its add) counts as created.
int createContext(DirectoryRequests& directory, Host& host, const std::string& dn);

// 0 when the entry exists and none of its classes is a structural class
// marked as no container (also for the empty DN, without a request); the
// LDAP code of the entry read; -6016 for a non-container; -6017 when the
// entry or a class definition cannot be read.
int isContainerObject(DirectoryRequests& directory, const std::string& dn);

// 0 when the schema lets `className` be placed under the tree root; 1 when
// it does not say so; -6016 for a structural class without containment
// rule; -6017 when its definition cannot be read.
int classAllowedAtTreeRoot(DirectoryRequests& directory, const char* className);

// Among the "objectClasses" values `definitions`, the one that gives
// `className` as one of its NAMEs, ignoring case; nullptr when none does.
const std::string* pickClassDefinition(const std::vector<std::string>& definitions,
                                       std::string_view className);

#endif  // KIVCONFIG_DIRECTORY_CONTEXTS_H_
