// One schema definition (attribute type or object class) broken into fields.
//
// parseSchemaElement reads a definition with libldap's liberal parser, so
// that vendor "X-" extensions and a missing space after "(" are accepted.
// Fields come in the order of the definition grammar (RFC 4512): NAME, DESC,
// OBSOLETE, SUP, then EQUALITY, ORDERING, SUBSTR, SYNTAX, SINGLE-VALUE,
// COLLECTIVE, NO-USER-MODIFICATION, USAGE for an attribute type, or the kind
// (ABSTRACT, STRUCTURAL or AUXILIARY), MUST, MAY for an object class, and
// last every extension in the order written. Only fields that the definition
// gives appear (USAGE only when not userApplications; an object class always
// has its kind). Keyword fields without a value (OBSOLETE, SINGLE-VALUE, the
// kind, ...) have an empty value list. NAME lists the primary name first;
// SYNTAX carries a length bound as written ("1.3.6.1.4.1.1466.115.121.1.15{32}").
#ifndef LDAPSDK_SCHEMA_ELEMENT_H_
#define LDAPSDK_SCHEMA_ELEMENT_H_

#include <string>
#include <vector>

#include "ldapx.h"

struct SchemaField {
  std::string name;
  std::vector<std::string> values;
};

struct LDAPSchemaElement {
  std::vector<SchemaField> fields;
};

// Parses `definition` as an element of `kind` (LDAP_SCHEMA_ATTRIBUTE_TYPE or
// LDAP_SCHEMA_OBJECT_CLASS) into *element. Returns 0, LDAP_PARAM_ERROR for an
// unknown kind, LDAP_DECODING_ERROR when the text is not a definition, or
// LDAP_NO_MEMORY.
int parseSchemaElement(int kind, const char* definition, LDAPSchemaElement* element);

#endif  // LDAPSDK_SCHEMA_ELEMENT_H_
