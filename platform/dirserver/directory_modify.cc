// Modify: value changes on an entry, and schema changes through the schema
// entry. Both work on a copy and commit only when every change applied.
#include <algorithm>
#include <set>

#include "directory.h"
#include "dn.h"

namespace ombrel {
namespace {

bool isDefinitionAttribute(const std::string& type, bool* object_classes) {
  std::string lower = asciiLower(type);
  *object_classes = lower == "objectclasses" || lower == "2.5.21.6";
  return *object_classes || lower == "attributetypes" || lower == "2.5.21.5";
}

int modifySchema(Directory* dir, const std::vector<Change>& changes, OpResult* result) {
  Schema schema = dir->schema;
  for (const Change& change : changes) {
    bool classes = false;
    if (!isDefinitionAttribute(change.type, &classes)) {
      return fail(result, kUnwillingToPerform,
                  "only attributeTypes and objectClasses of the schema can be changed");
    }
    if (change.op == Change::kReplace || (change.op == Change::kDelete && change.values.empty())) {
      return fail(result, kUnwillingToPerform, "schema definitions are changed value by value");
    }
    if (change.values.empty())
      return fail(result, kInvalidAttributeSyntax, "no values");
    for (const std::string& value : change.values) {
      std::string error;
      int rc = kSuccess;
      if (change.op == Change::kAdd) {
        rc =
            classes ? schema.addObjectClass(value, &error) : schema.addAttributeType(value, &error);
      } else {
        rc = classes ? schema.removeObjectClass(value) : schema.removeAttributeType(value);
        if (rc != kSuccess)
          error = "no such definition: " + value;
      }
      if (rc != kSuccess)
        return fail(result, rc, error);
    }
  }
  dir->schema = std::move(schema);
  return kSuccess;
}

int applyChange(const Directory& dir, const Change& change, Entry* entry, OpResult* result) {
  std::string key = dir.schema.attributeKey(change.type);
  if (key.empty()) {
    return fail(result, kUndefinedAttributeType, "undefined attribute type " + change.type);
  }
  MatchRule rule = dir.schema.matchRule(change.type);
  auto found = entry->attributes.find(key);
  switch (change.op) {
    case Change::kAdd: {
      if (change.values.empty())
        return fail(result, kInvalidAttributeSyntax, "no values to add to " + change.type);
      Attribute& attr = entry->attributes[key];
      if (attr.name.empty())
        attr.name = dir.schema.attributeDisplayName(change.type);
      return appendValues(dir.schema, change.type, change.values, &attr, result);
    }
    case Change::kDelete: {
      if (found == entry->attributes.end())
        return fail(result, kNoSuchAttribute, "no attribute " + change.type);
      std::set<std::string> present;
      for (const std::string& value : found->second.values)
        present.insert(comparableValue(rule, value));
      std::set<std::string> doomed;
      for (const std::string& value : change.values) {
        std::string comparable = comparableValue(rule, value);
        if (!present.count(comparable))
          return fail(result, kNoSuchAttribute, "no such value in " + change.type);
        doomed.insert(std::move(comparable));
      }
      std::erase_if(found->second.values, [&](const std::string& value) {
        return doomed.count(comparableValue(rule, value)) > 0;
      });
      if (change.values.empty() || found->second.values.empty())
        entry->attributes.erase(found);
      return kSuccess;
    }
    case Change::kReplace: {
      if (change.values.empty()) {
        if (found != entry->attributes.end())
          entry->attributes.erase(found);
        return kSuccess;
      }
      Attribute attr{dir.schema.attributeDisplayName(change.type), {}};
      int rc = appendValues(dir.schema, change.type, change.values, &attr, result);
      if (rc == kSuccess)
        entry->attributes[key] = std::move(attr);
      return rc;
    }
  }
  return fail(result, kProtocolError, "unknown modify operation");
}

int checkRdnKept(const Directory& dir, const Entry& entry, OpResult* result) {
  ParsedDn parsed;
  if (parseDn(entry.dn, &parsed) != kSuccess || parsed.rdns.empty())
    return kSuccess;
  for (const Ava& ava : parsed.rdns.front().avas) {
    const std::vector<std::string>* values = entry.values(dir.schema.attributeKey(ava.type));
    MatchRule rule = dir.schema.matchRule(ava.type);
    bool kept = values != nullptr &&
                std::any_of(values->begin(), values->end(),
                            [&](const std::string& v) { return valuesEqual(rule, v, ava.value); });
    if (!kept)
      return fail(result, kNotAllowedOnRdn, "the naming value " + ava.type + " must stay");
  }
  return kSuccess;
}

}  // namespace

int modifyEntry(Directory* dir, const std::string& dn, const std::vector<Change>& changes,
                OpResult* result) {
  std::string ndn;
  if (normalizeDn(dn, &ndn) != kSuccess)
    return fail(result, kInvalidDnSyntax, "invalid DN");
  if (ndn == kSchemaDn)
    return modifySchema(dir, changes, result);
  if (ndn.empty())
    return fail(result, kUnwillingToPerform, "the root DSE cannot be changed");
  auto found = dir->entries.find(ndn);
  if (found == dir->entries.end()) {
    result->matched_dn = matchedAncestor(*dir, dn);
    return fail(result, kNoSuchObject, "no such entry");
  }
  Entry entry = found->second;
  for (const Change& change : changes) {
    int rc = applyChange(*dir, change, &entry, result);
    if (rc != kSuccess)
      return rc;
  }
  int rc = checkEntrySchema(*dir, entry, result);
  if (rc == kSuccess)
    rc = checkRdnKept(*dir, entry, result);
  if (rc != kSuccess)
    return rc;
  found->second = std::move(entry);
  return kSuccess;
}

}  // namespace ombrel
