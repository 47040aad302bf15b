// Adding, deleting and renaming entries, with the schema and containment
// rules every new or moved entry must meet.
#include <algorithm>

#include "directory.h"
#include "dn.h"

namespace ombrel {
namespace {

bool isVirtualDn(const std::string& ndn) {
  return ndn.empty() || ndn == kSchemaDn;
}

const ObjectClassDef* structuralClass(const Directory& dir, const Entry& entry) {
  const ObjectClassDef* best = nullptr;
  const std::vector<std::string>* classes = entry.values("objectclass");
  if (classes == nullptr)
    return nullptr;
  for (const std::string& name : *classes) {
    const ObjectClassDef* def = dir.schema.objectClass(name);
    if (def == nullptr || def->kind != ClassKind::kStructural)
      continue;
    if (best == nullptr || dir.schema.classDepth(*def) > dir.schema.classDepth(*best))
      best = def;
  }
  return best;
}

bool listNamesClass(const Directory& dir, const std::vector<std::string>& list,
                    const std::string& class_name) {
  const ObjectClassDef* wanted = dir.schema.objectClass(class_name);
  for (const std::string& item : list) {
    if (equalsIgnoreCase(item, class_name))
      return true;
    if (wanted != nullptr && dir.schema.objectClass(item) == wanted)
      return true;
  }
  return false;
}

// Adds the RDN's values to the entry where they are missing.
int addRdnValues(const Directory& dir, const Rdn& rdn, Entry* entry, OpResult* result) {
  for (const Ava& ava : rdn.avas) {
    std::string key = dir.schema.attributeKey(ava.type);
    if (key.empty()) {
      return fail(result, kUndefinedAttributeType, "undefined naming attribute " + ava.type);
    }
    Attribute& attr = entry->attributes[key];
    if (attr.name.empty())
      attr.name = dir.schema.attributeDisplayName(ava.type);
    MatchRule rule = dir.schema.matchRule(ava.type);
    bool present = std::any_of(attr.values.begin(), attr.values.end(), [&](const std::string& v) {
      return valuesEqual(rule, v, ava.value);
    });
    if (!present)
      attr.values.push_back(ava.value);
  }
  return kSuccess;
}

void link(Directory* dir, const std::string& parent, Entry entry) {
  dir->children[parent].insert(entry.ndn);
  std::string ndn = entry.ndn;
  dir->entries[ndn] = std::move(entry);
}

void unlink(Directory* dir, const std::string& parent, const std::string& ndn) {
  dir->entries.erase(ndn);
  auto it = dir->children.find(parent);
  if (it == dir->children.end())
    return;
  it->second.erase(ndn);
  if (it->second.empty())
    dir->children.erase(it);
}

void collectSubtree(const Directory& dir, const std::string& ndn, std::vector<std::string>* out) {
  out->push_back(ndn);
  auto it = dir.children.find(ndn);
  if (it == dir.children.end())
    return;
  for (const std::string& child : it->second)
    collectSubtree(dir, child, out);
}

}  // namespace

int appendValues(const Schema& schema, const std::string& type,
                 const std::vector<std::string>& values, Attribute* attr, OpResult* result) {
  MatchRule rule = schema.matchRule(type);
  std::set<std::string> present;
  for (const std::string& value : attr->values)
    present.insert(comparableValue(rule, value));
  for (const std::string& value : values) {
    if (!schema.valueFitsSyntax(type, value))
      return fail(result, kInvalidAttributeSyntax, "a value of " + type + " breaks its syntax");
    if (!present.insert(comparableValue(rule, value)).second)
      return fail(result, kAttributeOrValueExists, "a value of " + type + " is already there");
    attr->values.push_back(value);
  }
  return kSuccess;
}

std::string matchedAncestor(const Directory& dir, const std::string& dn) {
  ParsedDn parsed;
  if (parseDn(dn, &parsed) != kSuccess)
    return "";
  for (size_t i = 1; i < parsed.rdns.size(); ++i) {
    auto it = dir.entries.find(normalizedDn(parsed, i));
    if (it != dir.entries.end())
      return it->second.dn;
  }
  return "";
}

int checkEntrySchema(const Directory& dir, const Entry& entry, OpResult* result) {
  const std::vector<std::string>* classes = entry.values("objectclass");
  if (classes == nullptr || classes->empty()) {
    return fail(result, kObjectClassViolation, "no objectClass");
  }
  for (const std::string& name : *classes) {
    if (dir.schema.objectClass(name) == nullptr) {
      return fail(result, kUndefinedAttributeType, "undefined object class " + name);
    }
  }
  for (const auto& [key, attr] : entry.attributes) {
    if (dir.schema.attributeType(key) == nullptr) {
      return fail(result, kUndefinedAttributeType, "undefined attribute type " + attr.name);
    }
  }
  if (structuralClass(dir, entry) == nullptr) {
    return fail(result, kObjectClassViolation, "no structural object class");
  }
  return kSuccess;
}

int checkContainment(const Directory& dir, const Entry& entry, const std::string& parent_ndn,
                     OpResult* result) {
  const ObjectClassDef* cls = structuralClass(dir, entry);
  if (cls == nullptr)
    return fail(result, kObjectClassViolation, "no structural object class");
  const std::vector<std::string>* list = dir.schema.containmentOf(*cls);
  std::string class_name = cls->names.empty() ? cls->oid : cls->names.front();
  if (parent_ndn.empty()) {
    if (list != nullptr && !listNamesClass(dir, *list, "treeRoot")) {
      return fail(result, kUnwillingToPerform, class_name + " may not stand at the tree root");
    }
    return kSuccess;
  }
  auto parent = dir.entries.find(parent_ndn);
  if (parent == dir.entries.end()) {
    result->matched_dn = matchedAncestor(dir, entry.dn);
    return fail(result, kNoSuchObject, "parent entry does not exist");
  }
  const std::vector<std::string>* parent_classes = parent->second.values("objectclass");
  if (parent_classes == nullptr)
    return fail(result, kUnwillingToPerform, "parent has no class");
  for (const std::string& name : *parent_classes) {
    const ObjectClassDef* def = dir.schema.objectClass(name);
    if (def != nullptr && def->not_container) {
      return fail(result, kUnwillingToPerform, "parent class " + name + " is not a container");
    }
  }
  if (list == nullptr)
    return kSuccess;
  for (const std::string& name : *parent_classes) {
    if (!equalsIgnoreCase(name, "top") && listNamesClass(dir, *list, name))
      return kSuccess;
  }
  return fail(result, kUnwillingToPerform,
              class_name + " may not be contained in " + parent->second.dn);
}

int addEntry(Directory* dir, const std::string& dn, const std::vector<Attribute>& attributes,
             OpResult* result) {
  ParsedDn parsed;
  if (parseDn(dn, &parsed) != kSuccess)
    return fail(result, kInvalidDnSyntax, "invalid DN");
  Entry entry;
  entry.dn = rawDn(parsed);
  entry.ndn = normalizedDn(parsed);
  if (isVirtualDn(entry.ndn) || entry.ndn.ends_with(std::string(",") + kSchemaDn)) {
    return fail(result, kUnwillingToPerform, "entry is reserved");
  }
  if (dir->entries.count(entry.ndn))
    return fail(result, kEntryAlreadyExists, "entry exists");
  for (const Attribute& attr : attributes) {
    std::string key = dir->schema.attributeKey(attr.name);
    if (key.empty()) {
      return fail(result, kUndefinedAttributeType, "undefined attribute type " + attr.name);
    }
    if (attr.values.empty()) {
      return fail(result, kInvalidAttributeSyntax, "no values for " + attr.name);
    }
    Attribute& target = entry.attributes[key];
    if (target.name.empty())
      target.name = dir->schema.attributeDisplayName(attr.name);
    int rc = appendValues(dir->schema, attr.name, attr.values, &target, result);
    if (rc != kSuccess)
      return rc;
  }
  int rc = checkEntrySchema(*dir, entry, result);
  if (rc == kSuccess)
    rc = addRdnValues(*dir, parsed.rdns.front(), &entry, result);
  std::string parent = normalizedDn(parsed, 1);
  if (rc == kSuccess)
    rc = checkContainment(*dir, entry, parent, result);
  if (rc != kSuccess)
    return rc;
  link(dir, parent, std::move(entry));
  return kSuccess;
}

int deleteEntry(Directory* dir, const std::string& dn, OpResult* result) {
  ParsedDn parsed;
  if (parseDn(dn, &parsed) != kSuccess)
    return fail(result, kInvalidDnSyntax, "invalid DN");
  std::string ndn = normalizedDn(parsed);
  if (isVirtualDn(ndn))
    return fail(result, kUnwillingToPerform, "entry is reserved");
  if (!dir->entries.count(ndn)) {
    result->matched_dn = matchedAncestor(*dir, dn);
    return fail(result, kNoSuchObject, "no such entry");
  }
  if (dir->children.count(ndn))
    return fail(result, kNotAllowedOnNonLeaf, "entry has children");
  unlink(dir, normalizedDn(parsed, 1), ndn);
  return kSuccess;
}

int renameEntry(Directory* dir, const std::string& dn, const std::string& new_rdn,
                bool delete_old_rdn, const std::optional<std::string>& new_superior,
                OpResult* result) {
  ParsedDn old_dn;
  ParsedDn rdn_dn;
  ParsedDn superior;
  if (parseDn(dn, &old_dn) != kSuccess || parseDn(new_rdn, &rdn_dn) != kSuccess ||
      rdn_dn.rdns.size() != 1 || (new_superior && parseDn(*new_superior, &superior) != kSuccess)) {
    return fail(result, kInvalidDnSyntax, "invalid DN");
  }
  std::string ndn = normalizedDn(old_dn);
  if (isVirtualDn(ndn))
    return fail(result, kUnwillingToPerform, "entry is reserved");
  auto found = dir->entries.find(ndn);
  if (found == dir->entries.end()) {
    result->matched_dn = matchedAncestor(*dir, dn);
    return fail(result, kNoSuchObject, "no such entry");
  }
  std::string old_parent = normalizedDn(old_dn, 1);
  std::string parent = new_superior ? normalizedDn(superior) : old_parent;
  std::string parent_display = new_superior ? rawDn(superior) : rawDn(old_dn, 1);
  std::string new_ndn = normalizedRdn(rdn_dn.rdns.front()) + (parent.empty() ? "" : "," + parent);
  if (new_ndn != ndn && dir->entries.count(new_ndn)) {
    return fail(result, kEntryAlreadyExists, "target entry exists");
  }
  if (parent == ndn || parent.ends_with("," + ndn) || parent == kSchemaDn) {
    return fail(result, kUnwillingToPerform, "cannot move an entry there");
  }
  Entry moved = found->second;
  if (delete_old_rdn) {
    for (const Ava& ava : old_dn.rdns.front().avas) {
      std::string key = dir->schema.attributeKey(ava.type);
      auto attr = moved.attributes.find(key);
      if (attr == moved.attributes.end())
        continue;
      MatchRule rule = dir->schema.matchRule(ava.type);
      std::erase_if(attr->second.values,
                    [&](const std::string& v) { return valuesEqual(rule, v, ava.value); });
      if (attr->second.values.empty())
        moved.attributes.erase(attr);
    }
  }
  int rc = addRdnValues(*dir, rdn_dn.rdns.front(), &moved, result);
  if (rc == kSuccess)
    rc = checkEntrySchema(*dir, moved, result);
  if (rc == kSuccess && parent != old_parent)
    rc = checkContainment(*dir, moved, parent, result);
  if (rc != kSuccess)
    return rc;

  std::string new_display = rdn_dn.rdns.front().raw + (parent.empty() ? "" : "," + parent_display);
  std::vector<std::string> subtree;
  collectSubtree(*dir, ndn, &subtree);
  std::vector<std::pair<std::string, Entry>> relinked;  // new parent ndn, entry
  for (const std::string& old_ndn : subtree) {
    Entry entry = old_ndn == ndn ? moved : dir->entries[old_ndn];
    ParsedDn parsed;
    if (parseDn(entry.dn, &parsed) != kSuccess)
      return fail(result, kOther, "stored DN broken");
    size_t depth = parsed.rdns.size() - old_dn.rdns.size();
    ParsedDn relative;
    relative.rdns.assign(parsed.rdns.begin(), parsed.rdns.begin() + static_cast<long>(depth));
    entry.dn = depth == 0 ? new_display : rawDn(relative) + "," + new_display;
    entry.ndn = depth == 0 ? new_ndn : normalizedDn(relative) + "," + new_ndn;
    std::string entry_parent =
        depth == 0 ? parent : entry.ndn.substr(normalizedRdn(parsed.rdns.front()).size() + 1);
    relinked.emplace_back(entry_parent, std::move(entry));
  }
  for (auto it = subtree.rbegin(); it != subtree.rend(); ++it) {
    ParsedDn parsed;
    int parse_rc = parseDn(dir->entries[*it].dn, &parsed);
    unlink(dir, parse_rc == kSuccess ? normalizedDn(parsed, 1) : "", *it);
  }
  for (auto& [entry_parent, entry] : relinked)
    link(dir, entry_parent, std::move(entry));
  return kSuccess;
}

int ensureServerEntry(Directory* dir, OpResult* result) {
  if (dir->server_dn.empty())
    return kSuccess;
  std::string ndn;
  if (normalizeDn(dir->server_dn, &ndn) != kSuccess) {
    return fail(result, kInvalidDnSyntax, "invalid server DN");
  }
  if (dir->entries.count(ndn))
    return kSuccess;
  return addEntry(dir, dir->server_dn, {{"objectClass", {"vrdServer"}}}, result);
}

}  // namespace ombrel
