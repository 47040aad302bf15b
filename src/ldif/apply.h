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

#include "base/directory_requests.h"

// Applies the file at `path` through `directory`. Returns:
//   0 when every record was applied, the last one was skipped, or there was
//     none;
//   20 or 68 when the last record applied answered that, all earlier ones
//     having answered 0, 20 or 68;
//   the LDAP result code of the first record that failed otherwise;
//   89 for the first malformed record, a line holding a NUL byte included;
//   1 when the file cannot be opened or read to its end ("<path>: <system
//     error>", or "kivconfig: cannot read <path>: <system error>", on
//     standard error); a record that was not read whole is not applied;
//   kLdifOutOfMemory when memory runs out.
// Records applied before a failure stay applied. Ignores SIGPIPE from the
// first call on, for the rest of the process.
int applyLdifFile(const char* path, DirectoryRequests& directory);

#endif  // KIVCONFIG_LDIF_APPLY_H_
