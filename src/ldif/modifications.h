// Modification lists of the LDIF change processor: the attribute changes of
// one record, collected line by line, and the NULL-terminated LDAPMod array
// they are sent as.
//
// Attribute names and values are not copied: they point into the record
// being applied and are valid as long as it is. Both structures are meant to
// be reused from record to record (clear() keeps their memory), so that
// applying a file costs no allocation per record.
#ifndef KIVCONFIG_LDIF_MODIFICATIONS_H_
#define KIVCONFIG_LDIF_MODIFICATIONS_H_

#include <ldap.h>

#include <cstddef>
#include <utility>
#include <vector>

// One entry of a modification list: one pair of attribute name (compared
// without regard to case) and operation.
struct LdifModification {
  int operation = 0;          // LDAP_MOD_ADD, _DELETE or _REPLACE, with LDAP_MOD_BVALUES
  char* attribute = nullptr;  // NUL-terminated
  size_t attributeLength = 0;
  size_t valueCount = 0;
};

struct LdifModificationList {
  std::vector<LdifModification> entries;
  // Every value with the index of its entry, in file order.
  std::vector<std::pair<size_t, berval>> values;

  bool empty() const { return entries.empty(); }
  void clear() {
    entries.clear();
    values.clear();
  }
};

// Whether the `length` bytes at `a` and at `b` are the same text, ignoring
// the case of ASCII letters, the only letters of attribute names and
// keywords.
inline bool sameTextIgnoringCase(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y && ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z')) {
      return false;
    }
  }
  return true;
}

// Prints `call`'s failure for lack of memory, as perror does.
void reportOutOfMemory(const char* call);

// Adds `value` (none when null, then only the entry is made) to the entry of
// `list` for the NUL-terminated `attribute` of `attributeLength` bytes and
// `operation` (without LDAP_MOD_BVALUES), making the entry when there is
// none. Returns 0, or kLdifOutOfMemory after printing the system error when
// memory runs out.
int addModification(LdifModificationList* list, int operation, char* attribute,
                    size_t attributeLength, char* value, size_t valueLength);

// The LDAPMod array of a modification list: one LDAPMod per entry, in list
// order, each with its values in file order (mod_bvalues null for an entry
// without values).
class LdapModArray {
 public:
  // Returns the NULL-terminated array, which points into `list` and into this
  // object: both must outlive its use. Returns nullptr after printing the
  // system error when memory runs out.
  LDAPMod** build(LdifModificationList& list);

 private:
  std::vector<LDAPMod> mods_;
  std::vector<berval*> valuePointers_;
  std::vector<size_t> nextValueSlot_;
  std::vector<LDAPMod*> modPointers_;
};

#endif  // KIVCONFIG_LDIF_MODIFICATIONS_H_
