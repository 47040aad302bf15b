#include "ldif/modifications.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/result_codes.h"

void reportOutOfMemory(const char* call) {
  errno = ENOMEM;
  perror(call);
}

int addModification(LdifModificationList* list, int operation, const char* attribute,
                    LdifValue value) {
  int combined = operation | LDAP_MOD_BVALUES;
  size_t attributeLength = strlen(attribute);
  size_t index = 0;
  while (index < list->entries.size()) {
    const LdifModification& candidate = list->entries[index];
    if (candidate.operation == combined && candidate.attribute.size() == attributeLength &&
        strcasecmp(candidate.attribute.c_str(), attribute) == 0) {
      break;
    }
    ++index;
  }
  try {
    if (index == list->entries.size()) {
      list->entries.push_back(LdifModification{combined, attribute, 0});
    }
    if (value.bytes != nullptr) {
      list->values.emplace_back(index, std::move(value));
      ++list->entries[index].valueCount;
    }
  } catch (const std::bad_alloc&) {
    reportOutOfMemory("realloc");
    return kLdifOutOfMemory;
  }
  return 0;
}

LDAPMod** LdapModArray::build(const LdifModificationList& list) {
  const size_t entryCount = list.entries.size();
  try {
    mods_.assign(entryCount, LDAPMod{});
    // Reserved before any pointer into them is taken.
    values_.clear();
    values_.reserve(list.values.size());
    valuePointers_.assign(list.values.size() + entryCount, nullptr);
    nextValueSlot_.assign(entryCount, 0);
    modPointers_.clear();
    modPointers_.reserve(entryCount + 1);
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
    mod.mod_type = const_cast<char*>(entry.attribute.c_str());
    if (entry.valueCount > 0) {
      mod.mod_bvalues = &valuePointers_[slot];
      nextValueSlot_[i] = slot;
      slot += entry.valueCount + 1;
    }
    modPointers_.push_back(&mod);
  }
  modPointers_.push_back(nullptr);
  for (const auto& [index, value] : list.values) {
    values_.push_back(berval{value.length, value.bytes.get()});
    valuePointers_[nextValueSlot_[index]++] = &values_.back();
  }
  return modPointers_.data();
}
