// Search over the tree and the two virtual entries, and the bind check.
#include <algorithm>

#include "directory.h"
#include "dn.h"

namespace ombrel {
namespace {

Entry rootDse(const Directory& dir) {
  Entry root;
  root.attributes["objectclass"] = {"objectClass", {"top"}};
  if (dir.vendor_version)
    root.attributes["vendorversion"] = {"vendorVersion", {*dir.vendor_version}};
  if (!dir.server_dn.empty())
    root.attributes["dsaname"] = {"dsaName", {dir.server_dn}};
  root.attributes["supportedldapversion"] = {"supportedLDAPVersion", {"3"}};
  root.attributes["subschemasubentry"] = {"subschemaSubentry", {kSchemaDn}};
  root.attributes["supportedextension"] = {"supportedExtension",
                                           {kIndexCompletionOid, kSchemaRefreshOid}};
  auto top = dir.children.find("");
  if (top != dir.children.end()) {
    Attribute contexts{"namingContexts", {}};
    for (const std::string& ndn : top->second)
      contexts.values.push_back(dir.entries.at(ndn).dn);
    root.attributes["namingcontexts"] = std::move(contexts);
  }
  return root;
}

// The schema entry; with an equality filter on one of the definition
// attributes, that attribute holds only the definitions the filter names.
Entry schemaEntry(const Directory& dir, const Filter& filter) {
  Entry entry;
  entry.dn = kSchemaDn;
  entry.ndn = kSchemaDn;
  entry.attributes["objectclass"] = {"objectClass", {"top", "subschema"}};
  entry.attributes["cn"] = {"cn", {"schema"}};
  Attribute types{"attributeTypes", {}};
  for (const AttributeTypeDef& def : dir.schema.attributeTypes())
    types.values.push_back(def.text);
  Attribute classes{"objectClasses", {}};
  for (const ObjectClassDef& def : dir.schema.objectClasses())
    classes.values.push_back(def.text);
  for (Attribute* attr : {&types, &classes}) {
    if (filter.kind == Filter::kEquality && equalsIgnoreCase(filter.attribute, attr->name)) {
      std::erase_if(attr->values, [&](const std::string& text) {
        return !definitionHasName(text, filter.value);
      });
    }
  }
  entry.attributes["attributetypes"] = std::move(types);
  entry.attributes["objectclasses"] = std::move(classes);
  return entry;
}

FoundEntry project(const Directory& dir, const Entry& entry, const SearchParams& params,
                   const std::string& dn) {
  FoundEntry found{dn, {}};
  bool all = params.attributes.empty();
  std::vector<std::string> keys;
  for (const std::string& name : params.attributes) {
    // Every attribute here is returned for "*"; "+" asks for the root DSE's and
    // the schema entry's, which other servers treat as operational.
    if (name == "*" || name == "+")
      all = true;
    std::string key = dir.schema.attributeKey(name);
    keys.push_back(key.empty() ? asciiLower(name) : key);
  }
  for (const auto& [key, attr] : entry.attributes) {
    if (!all && std::find(keys.begin(), keys.end(), key) == keys.end())
      continue;
    if (attr.values.empty())
      continue;
    Attribute out{attr.name, {}};
    if (!params.types_only)
      out.values = attr.values;
    found.attributes.push_back(std::move(out));
  }
  return found;
}

void walk(const Directory& dir, const std::string& ndn, bool include_self, bool deep,
          std::vector<const Entry*>* out) {
  if (include_self)
    out->push_back(&dir.entries.at(ndn));
  auto it = dir.children.find(ndn);
  if (it == dir.children.end())
    return;
  for (const std::string& child : it->second) {
    if (deep) {
      walk(dir, child, true, true, out);
    } else {
      out->push_back(&dir.entries.at(child));
    }
  }
}

}  // namespace

int searchDirectory(const Directory& dir, const SearchParams& params,
                    std::vector<FoundEntry>* found, OpResult* result) {
  std::string base;
  if (normalizeDn(params.base, &base) != kSuccess) {
    return fail(result, kInvalidDnSyntax, "invalid base DN");
  }
  std::vector<const Entry*> candidates;
  Entry virtual_entry;
  if (base.empty() && params.scope == kScopeBase) {
    virtual_entry = rootDse(dir);
    candidates.push_back(&virtual_entry);
  } else if (base == kSchemaDn) {
    if (params.scope != kScopeOneLevel) {
      virtual_entry = schemaEntry(dir, params.filter);
      candidates.push_back(&virtual_entry);
    }
  } else if (base.empty()) {
    walk(dir, "", false, params.scope == kScopeSubtree, &candidates);
  } else {
    if (!dir.entries.count(base)) {
      result->matched_dn = matchedAncestor(dir, params.base);
      return fail(result, kNoSuchObject, "no such base entry");
    }
    walk(dir, base, params.scope != kScopeOneLevel, params.scope == kScopeSubtree, &candidates);
    if (params.scope == kScopeBase)
      candidates.resize(1);
  }
  for (const Entry* entry : candidates) {
    if (evaluateFilter(params.filter, *entry, dir.schema) != Truth::kTrue)
      continue;
    if (params.size_limit > 0 && static_cast<long>(found->size()) >= params.size_limit) {
      return fail(result, kSizeLimitExceeded, "size limit exceeded");
    }
    found->push_back(project(dir, *entry, params, entry->dn));
  }
  return kSuccess;
}

int checkCredentials(const Directory& dir, const std::string& dn, const std::string& password,
                     std::string* ndn) {
  if (normalizeDn(dn, ndn) != kSuccess)
    return kInvalidDnSyntax;
  auto it = dir.entries.find(*ndn);
  if (it == dir.entries.end())
    return kInvalidCredentials;
  const std::vector<std::string>* passwords = it->second.values("userpassword");
  if (passwords == nullptr)
    return kInvalidCredentials;
  for (const std::string& stored : *passwords) {
    if (stored == password)
      return kSuccess;
  }
  return kInvalidCredentials;
}

}  // namespace ombrel
