#include "ldif/modifications.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "base/result_codes.h"

void reportOutOfMemory(const char* call) {
  errno = ENOMEM;
  perror(call);
}

int addModification(LdifModificationList* list, int operation, char* attribute,
                    size_t attributeLength, char* value, size_t valueLength) {
  int combined = operation | LDAP_MOD_BVALUES;
  size_t index = 0;
  while (index < list->entries.size()) {
    const LdifModification& candidate = list->entries[index];
    if (candidate.operation == combined && candidate.attributeLength == attributeLength &&
        sameTextIgnoringCase(candidate.attribute, attribute, attributeLength)) {
      break;
    }
    ++index;
  }
  try {
    if (index == list->entries.size()) {
      list->entries.push_back(LdifModification{combined, attribute, attributeLength, 0});
    }
    if (value != nullptr) {
      list->values.emplace_back(index, berval{valueLength, value});
      ++list->entries[index].valueCount;
    }
  } catch (const std::bad_alloc&) {
    reportOutOfMemory("realloc");
    return kLdifOutOfMemory;
  }
  return 0;
}

LDAPMod** LdapModArray::build(LdifModificationList& list) {
  const size_t entryCount = list.entries.size();
  try {
    mods_.resize(entryCount);
    valuePointers_.resize(list.values.size() + entryCount);
    nextValueSlot_.resize(entryCount);
    modPointers_.resize(entryCount + 1);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory("realloc");
    return nullptr;
  }
  // Each entry's values take consecutive slots, followed by a NULL.
  size_t slot = 0;
  for (size_t i = 0; i < entryCount; ++i) {
    const LdifModification& entry = list.entries[i];
    LDAPMod& mod = mods_[i];
    mod.mod_op = entry.operation;
    mod.mod_type = entry.attribute;
    mod.mod_bvalues = nullptr;
    if (entry.valueCount > 0) {
      mod.mod_bvalues = &valuePointers_[slot];
      nextValueSlot_[i] = slot;
      slot += entry.valueCount;
      valuePointers_[slot++] = nullptr;
    }
    modPointers_[i] = &mod;
  }
  modPointers_[entryCount] = nullptr;
  for (auto& [index, value] : list.values) {
    valuePointers_[nextValueSlot_[index]++] = &value;
  }
  return modPointers_.data();
}
