// Parser for RFC 4512 attribute-type and object-class definitions with the
// directory's "X-VRD_" extensions.
//
// Both parsers return kSuccess or kInvalidAttributeSyntax with a reason in
// *error. "(x" and "( x" are accepted alike. Extension values are kept as
// written; "X-VRD_CONTAINMENT" takes one qdstring or a parenthesised list,
// "X-VRD_NOT_CONTAINER" marks a leaf class.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ombrel {

struct AttributeTypeDef {
  std::string oid;
  std::vector<std::string> names;
  std::string sup;
  std::string equality;
  std::string syntax;
  bool single_value = false;
  std::string text;  // the definition as it was given
};

enum class ClassKind { kStructural, kAuxiliary, kAbstract };

struct ObjectClassDef {
  std::string oid;
  std::vector<std::string> names;
  std::vector<std::string> sups;
  ClassKind kind = ClassKind::kStructural;
  std::vector<std::string> must;
  std::vector<std::string> may;
  bool has_containment = false;
  std::vector<std::string> containment;
  bool not_container = false;
  std::string text;
};

int parseAttributeTypeDefinition(std::string_view text, AttributeTypeDef* out, std::string* error);
int parseObjectClassDefinition(std::string_view text, ObjectClassDef* out, std::string* error);

// The text with runs of blanks collapsed and a blank after "(" and before
// ")" outside quotes, so that equal definitions compare equal as strings.
std::string canonicalDefinitionText(std::string_view text);

// True when the definition's OID or one of its NAMEs equals name, ignoring
// case. An unparsable definition matches nothing.
bool definitionHasName(std::string_view text, std::string_view name);

}  // namespace ombrel
