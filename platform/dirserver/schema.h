// The schema registry: the attribute types and object classes the server
// knows, looked up by any NAME or the OID, ignoring case.
//
// add* return kSuccess, kInvalidAttributeSyntax (unparsable, reason in
// *error) or kAttributeOrValueExists (the OID or a NAME is already defined).
// remove* take a definition text and return kSuccess or kNoSuchAttribute
// when no present definition has the same canonical text. A Schema is a
// plain value: copy it to try a change and assign it back to commit.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema_definition.h"

namespace ombrel {

enum class MatchRule { kCaseIgnore, kCaseExact, kDistinguishedName, kInteger, kDefinition };

class Schema {
 public:
  int addAttributeType(std::string_view text, std::string* error);
  int addObjectClass(std::string_view text, std::string* error);
  int removeAttributeType(std::string_view text);
  int removeObjectClass(std::string_view text);

  const AttributeTypeDef* attributeType(std::string_view name_or_oid) const;
  const ObjectClassDef* objectClass(std::string_view name_or_oid) const;
  const std::vector<AttributeTypeDef>& attributeTypes() const { return attribute_types_; }
  const std::vector<ObjectClassDef>& objectClasses() const { return object_classes_; }

  // Lower-cased primary name of a defined attribute type ("" when undefined);
  // the key under which entries keep that attribute.
  std::string attributeKey(std::string_view name) const;
  // The display spelling of a defined attribute type, else name itself.
  std::string attributeDisplayName(std::string_view name) const;
  MatchRule matchRule(std::string_view attribute) const;
  // False when a value breaks its type's syntax: directory strings must be
  // non-empty UTF-8, IA5 strings ASCII, integers decimal. Other syntaxes and
  // undefined types take any bytes.
  bool valueFitsSyntax(std::string_view attribute, std::string_view value) const;

  // The containment list that applies to a class: its own or the nearest
  // SUP's; nullptr when no class in its chain has one.
  const std::vector<std::string>* containmentOf(const ObjectClassDef& cls) const;
  // Depth of a class in its SUP chain (top = 0), to find the most derived.
  int classDepth(const ObjectClassDef& cls) const;

 private:
  void reindex();

  std::vector<AttributeTypeDef> attribute_types_;
  std::vector<ObjectClassDef> object_classes_;
  std::unordered_map<std::string, size_t> attribute_index_;
  std::unordered_map<std::string, size_t> class_index_;
};

// The schema the server starts with.
Schema builtinSchema();

}  // namespace ombrel
