// LDIF change application: applies every change record of one LDIF file to
// the directory, one LDAP operation per record, in file order.
//
// A record is a "dn" line, an optional "changetype" line (add, modify,
// delete, modrdn/moddn/rename) and then attribute lines, modify-operation
// blocks ended by "-", or the newrdn/deleteoldrdn/newsuperior lines of a
// rename. A record without a change type replaces the values of every
// attribute it lists. Diagnostics go to standard error prefixed with
// "kivconfig: "; deletes and renames are announced on standard output.
#ifndef KIVCONFIG_LDIF_APPLY_H_
#define KIVCONFIG_LDIF_APPLY_H_

#include <ldap.h>

#include "ldif/modifications.h"

// The directory requests of a run; each returns an LDAP result code.
// `context` is passed back unchanged.
struct LdifDirectoryOperations {
  void* context = nullptr;
  int (*add)(void* context, const char* dn, LDAPMod** modifications) = nullptr;
  int (*modify)(void* context, const char* dn, LDAPMod** modifications) = nullptr;
  int (*remove)(void* context, const char* dn) = nullptr;
  int (*rename)(void* context, const char* dn, const char* newRdn, const char* newSuperior,
                int deleteOldRdn) = nullptr;
};

// ldap_add_s, ldap_modify_s, ldap_delete_s and ldap_rename_s on
// directorySession(); without a session they answer LDAP_SERVER_DOWN.
LdifDirectoryOperations sessionDirectoryOperations();

// Applies the file at `path` over the directory session, or through
// `operations` when given. Returns:
//   0 when every record was applied, the last one was skipped, or there was
//     none;
//   20 or 68 when the last record applied answered that, all earlier ones
//     having answered 0, 20 or 68;
//   the LDAP result code of the first record that failed otherwise;
//   89 for the first malformed record;
//   1 when the file cannot be opened;
//   -6025 when memory runs out.
// Records applied before a failure stay applied. Ignores SIGPIPE from the
// first call on, for the rest of the process.
int applyLdifFile(const char* path);
int applyLdifFile(const char* path, const LdifDirectoryOperations& operations);

#endif  // KIVCONFIG_LDIF_APPLY_H_
