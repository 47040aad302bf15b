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

#include <string>
#include <vector>

#include "ldif/reader.h"

// A value made by parseLdifLine (LDAP library memory), owned; a null `bytes`
// stands for no value.
struct LdifValue {
  BerText bytes;
  ber_len_t length = 0;
};

// One entry of a modification list: all values for one pair of attribute
// name (compared without regard to case) and operation, in file order.
struct LdifModification {
  int operation = 0;  // LDAP_MOD_ADD, _DELETE or _REPLACE, with LDAP_MOD_BVALUES
  std::string attribute;
  std::vector<LdifValue> values;
};
using LdifModificationList = std::vector<LdifModification>;

// Adds `value` (taken over; none when its bytes are null, then only the
// entry is made) to the entry of `list` for `attribute` and `operation`
// (without LDAP_MOD_BVALUES), making the entry when there is none. Returns 0,
// or -6025 after printing the system error when memory runs out.
int addModification(LdifModificationList* list, int operation, const char* attribute,
                    LdifValue value);

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

// Applies the file at `path` over the directory session. Returns:
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
