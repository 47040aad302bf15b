// Loading the initial tree from LDIF content records, and writing the whole
// directory as sorted LDIF so that tests can compare states.
//
// loadLdif returns 0 or -1 with a message naming the line in *error; entries
// go through the same schema and containment rules as an LDAP add, so
// parents must come before their children. A "cn=schema" record adds its
// "attributeTypes" and "objectClasses" values to the schema, replacing a
// definition of the same OID or NAME (so a dump can be loaded again).
//
// dumpLdif sorts entries parents first and siblings by normalised RDN,
// attributes by lower-cased name and values bytewise; "cn=schema" is
// included. writeFileAtomically writes a temporary file beside the target
// and renames it, so readers see the old or the new file, never a part.
#pragma once

#include <string>

#include "directory.h"

namespace ombrel {

int loadLdif(Directory* dir, const std::string& text, std::string* error);
int loadLdifFile(Directory* dir, const std::string& path, std::string* error);
std::string dumpLdif(const Directory& dir);
int writeFileAtomically(const std::string& path, const std::string& text, std::string* error);

}  // namespace ombrel
