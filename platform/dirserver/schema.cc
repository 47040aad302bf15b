#include "schema.h"

#include <algorithm>

#include "dn.h"
#include "result_codes.h"

namespace ombrel {
namespace {

template <typename Def>
bool nameTaken(const std::unordered_map<std::string, size_t>& index, const Def& def) {
  if (index.count(asciiLower(def.oid)))
    return true;
  for (const std::string& name : def.names) {
    if (index.count(asciiLower(name)))
      return true;
  }
  return false;
}

template <typename Def>
void indexDefinition(const std::vector<Def>& defs, size_t i,
                     std::unordered_map<std::string, size_t>* index) {
  index->emplace(asciiLower(defs[i].oid), i);
  for (const std::string& name : defs[i].names)
    index->emplace(asciiLower(name), i);
}

template <typename Def>
void indexDefinitions(const std::vector<Def>& defs,
                      std::unordered_map<std::string, size_t>* index) {
  index->clear();
  for (size_t i = 0; i < defs.size(); ++i)
    indexDefinition(defs, i, index);
}

template <typename Def>
int removeByText(std::vector<Def>* defs, std::string_view text) {
  std::string wanted = canonicalDefinitionText(text);
  for (auto it = defs->begin(); it != defs->end(); ++it) {
    if (canonicalDefinitionText(it->text) == wanted) {
      defs->erase(it);
      return kSuccess;
    }
  }
  return kNoSuchAttribute;
}

template <typename Def>
const Def* lookup(const std::vector<Def>& defs,
                  const std::unordered_map<std::string, size_t>& index, std::string_view name) {
  auto it = index.find(asciiLower(name));
  return it == index.end() ? nullptr : &defs[it->second];
}

}  // namespace

int Schema::addAttributeType(std::string_view text, std::string* error) {
  AttributeTypeDef def;
  if (parseAttributeTypeDefinition(text, &def, error) != kSuccess)
    return kInvalidAttributeSyntax;
  if (nameTaken(attribute_index_, def)) {
    *error = "attribute type " + def.oid + " is already defined";
    return kAttributeOrValueExists;
  }
  attribute_types_.push_back(std::move(def));
  indexDefinition(attribute_types_, attribute_types_.size() - 1, &attribute_index_);
  return kSuccess;
}

int Schema::addObjectClass(std::string_view text, std::string* error) {
  ObjectClassDef def;
  if (parseObjectClassDefinition(text, &def, error) != kSuccess)
    return kInvalidAttributeSyntax;
  if (nameTaken(class_index_, def)) {
    *error = "object class " + def.oid + " is already defined";
    return kAttributeOrValueExists;
  }
  object_classes_.push_back(std::move(def));
  indexDefinition(object_classes_, object_classes_.size() - 1, &class_index_);
  return kSuccess;
}

int Schema::removeAttributeType(std::string_view text) {
  int rc = removeByText(&attribute_types_, text);
  reindex();
  return rc;
}

int Schema::removeObjectClass(std::string_view text) {
  int rc = removeByText(&object_classes_, text);
  reindex();
  return rc;
}

void Schema::reindex() {
  indexDefinitions(attribute_types_, &attribute_index_);
  indexDefinitions(object_classes_, &class_index_);
}

const AttributeTypeDef* Schema::attributeType(std::string_view name) const {
  // Attribute options ("userCertificate;binary") name the same type.
  return lookup(attribute_types_, attribute_index_, name.substr(0, name.find(';')));
}

bool Schema::valueFitsSyntax(std::string_view attribute, std::string_view value) const {
  const AttributeTypeDef* def = attributeType(attribute);
  for (int depth = 0; def != nullptr && def->syntax.empty() && !def->sup.empty() && depth < 16;
       ++depth) {
    def = attributeType(def->sup);
  }
  if (def == nullptr)
    return true;
  std::string syntax = def->syntax.substr(0, def->syntax.find('{'));
  if (syntax == "1.3.6.1.4.1.1466.115.121.1.15")
    return !value.empty() && isValidUtf8(value);
  if (syntax == "1.3.6.1.4.1.1466.115.121.1.26") {
    return std::all_of(value.begin(), value.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  }
  if (syntax == "1.3.6.1.4.1.1466.115.121.1.27") {
    size_t digits = value.size() > 1 && value.front() == '-' ? 1 : 0;
    return digits < value.size() &&
           std::all_of(value.begin() + static_cast<long>(digits), value.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  }
  return true;
}

const ObjectClassDef* Schema::objectClass(std::string_view name) const {
  return lookup(object_classes_, class_index_, name);
}

std::string Schema::attributeKey(std::string_view name) const {
  const AttributeTypeDef* def = attributeType(name);
  if (def == nullptr)
    return "";
  return asciiLower(def->names.empty() ? def->oid : def->names.front());
}

std::string Schema::attributeDisplayName(std::string_view name) const {
  const AttributeTypeDef* def = attributeType(name);
  if (def == nullptr)
    return std::string(name);
  return def->names.empty() ? def->oid : def->names.front();
}

MatchRule Schema::matchRule(std::string_view attribute) const {
  if (equalsIgnoreCase(attribute, "attributeTypes") ||
      equalsIgnoreCase(attribute, "objectClasses")) {
    return MatchRule::kDefinition;
  }
  const AttributeTypeDef* def = attributeType(attribute);
  for (int depth = 0; def != nullptr && depth < 16; ++depth) {
    std::string equality = asciiLower(def->equality);
    if (equality == "caseexactmatch" || equality == "caseexactia5match" ||
        equality == "octetstringmatch") {
      return MatchRule::kCaseExact;
    }
    if (equality == "distinguishednamematch")
      return MatchRule::kDistinguishedName;
    if (equality == "integermatch")
      return MatchRule::kInteger;
    if (!equality.empty() || def->sup.empty())
      break;
    def = attributeType(def->sup);
  }
  return MatchRule::kCaseIgnore;
}

const std::vector<std::string>* Schema::containmentOf(const ObjectClassDef& cls) const {
  const ObjectClassDef* current = &cls;
  for (int depth = 0; current != nullptr && depth < 32; ++depth) {
    if (current->has_containment)
      return &current->containment;
    if (current->sups.empty())
      return nullptr;
    current = objectClass(current->sups.front());
  }
  return nullptr;
}

int Schema::classDepth(const ObjectClassDef& cls) const {
  int depth = 0;
  const ObjectClassDef* current = &cls;
  while (depth < 32 && !current->sups.empty()) {
    current = objectClass(current->sups.front());
    if (current == nullptr)
      break;
    ++depth;
  }
  return depth;
}

}  // namespace ombrel
