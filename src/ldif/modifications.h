// Modification lists of the LDIF change processor: the attribute changes of
// one record, collected line by line, and the NULL-terminated LDAPMod array
// they are sent as.
//
// Both are meant to be reused from record to record (clear() keeps their
// memory), so that applying a file costs no allocation per record beyond the
// parsed lines themselves.
#ifndef KIVCONFIG_LDIF_MODIFICATIONS_H_
#define KIVCONFIG_LDIF_MODIFICATIONS_H_

#include <ldap.h>

#include <string>
#include <utility>
#include <vector>

#include "ldif/reader.h"

// A value made by parseLdifLine (LDAP library memory), owned; a null `bytes`
// stands for no value.
struct LdifValue {
  BerText bytes;
  ber_len_t length = 0;
};

// One entry of a modification list: one pair of attribute name (compared
// without regard to case) and operation.
struct LdifModification {
  int operation = 0;  // LDAP_MOD_ADD, _DELETE or _REPLACE, with LDAP_MOD_BVALUES
  std::string attribute;
  size_t valueCount = 0;
};

struct LdifModificationList {
  std::vector<LdifModification> entries;
  // Every value with the index of its entry, in file order.
  std::vector<std::pair<size_t, LdifValue>> values;

  bool empty() const { return entries.empty(); }
  void clear() {
    entries.clear();
    values.clear();
  }
};

// Prints `call`'s failure for lack of memory, as perror does.
void reportOutOfMemory(const char* call);

// Adds `value` (taken over; none when its bytes are null, then only the
// entry is made) to the entry of `list` for `attribute` and `operation`
// (without LDAP_MOD_BVALUES), making the entry when there is none. Returns 0,
// or kLdifOutOfMemory after printing the system error when memory runs out.
int addModification(LdifModificationList* list, int operation, const char* attribute,
                    LdifValue value);

// The LDAPMod array of a modification list: one LDAPMod per entry, in list
// order, each with its values in file order (mod_bvalues null for an entry
// without values).
class LdapModArray {
 public:
  // Returns the NULL-terminated array, which points into `list` and into this
  // object: both must outlive its use. Returns nullptr after printing the
  // system error when memory runs out.
  LDAPMod** build(const LdifModificationList& list);

 private:
  std::vector<LDAPMod> mods_;
  std::vector<berval> values_;
  std::vector<berval*> valuePointers_;
  std::vector<size_t> nextValueSlot_;
  std::vector<LDAPMod*> modPointers_;
};

#endif  // KIVCONFIG_LDIF_MODIFICATIONS_H_
