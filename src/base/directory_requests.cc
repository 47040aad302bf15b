#include "base/directory_requests.h"

#include <strings.h>

const std::vector<std::string>* DirectoryEntry::values(std::string_view name) const {
  const std::vector<std::string>* found = nullptr;
  for (const DirectoryAttribute& attribute : attributes) {
    if (attribute.name.size() != name.size() ||
        strncasecmp(attribute.name.data(), name.data(), name.size()) != 0) {
      continue;
    }
    // A server may list an attribute once without values and again with.
    if (!attribute.values.empty())
      return &attribute.values;
    if (found == nullptr)
      found = &attribute.values;
  }
  return found;
}

int DirectoryRequests::searchFirst(const std::string& base, SearchScope scope,
                                   const std::string& filter,
                                   const std::vector<std::string>& attributes,
                                   std::optional<DirectoryEntry>& first) {
  std::vector<DirectoryEntry> entries;
  int rc = search(base, scope, filter, attributes, entries);
  first.reset();
  if (!entries.empty())
    first = std::move(entries.front());
  return rc;
}

Modifications& Modifications::add(int operation, std::string attribute,
                                  std::vector<std::string> values) {
  items_.push_back({operation, std::move(attribute), std::move(values)});
  return *this;
}

LDAPMod** Modifications::get() {
  mods_.assign(items_.size(), LDAPMod{});
  values_.assign(items_.size(), {});
  valuePointers_.assign(items_.size(), {});
  modPointers_.clear();
  for (size_t i = 0; i < items_.size(); ++i) {
    Item& item = items_[i];
    for (std::string& value : item.values)
      values_[i].push_back(berval{value.size(), value.data()});
    for (berval& value : values_[i])
      valuePointers_[i].push_back(&value);
    valuePointers_[i].push_back(nullptr);
    mods_[i].mod_op = item.operation | LDAP_MOD_BVALUES;
    mods_[i].mod_type = item.attribute.data();
    mods_[i].mod_bvalues = valuePointers_[i].data();
    modPointers_.push_back(&mods_[i]);
  }
  modPointers_.push_back(nullptr);
  return modPointers_.data();
}
