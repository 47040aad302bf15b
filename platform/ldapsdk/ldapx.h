// The directory SDK's schema-access extension and server refresh.
//
// ldap_schema_fetch reads the subschema entry of a bound session (the one the
// root entry names, else "cn=schema") into an opaque handle; a definition
// that does not parse is left out. Elements are listed by kind; an element's
// fields are the keywords of its definition ("NAME", "SUP", "SYNTAX", "MUST",
// ..., vendor "X-" extensions included, in the order of the definition
// grammar) and their values as text. Keywords without a value
// ("SINGLE-VALUE", "STRUCTURAL", ...) have an empty value list.
#ifndef LDAPX_H_
#define LDAPX_H_

#include <ldap.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LDAP_SCHEMA_ATTRIBUTE_TYPE 0
#define LDAP_SCHEMA_OBJECT_CLASS 1

typedef struct LDAPSchema LDAPSchema;
typedef struct LDAPSchemaElement LDAPSchemaElement;

// Reads the schema. `reserved` must be NULL. Returns 0 and sets *schema, or an
// LDAP result code. The handle is released with ldap_schema_free.
int ldap_schema_fetch(LDAP* ld, LDAPSchema** schema, void* reserved);

// Number of elements of `kind`, or -1 for an unknown kind.
int ldap_schema_get_count(LDAPSchema* schema, int kind);

// Element `index` (from 0) of `kind`; valid until ldap_schema_free. Returns 0,
// or LDAP_PARAM_ERROR for an index or kind out of range.
int ldap_schema_get_by_index(LDAPSchema* schema, int index, int kind, LDAPSchemaElement** element);

// NULL-terminated list of the element's field names, in definition order.
// Returns 0 or an LDAP result code; release the list with ldap_value_free.
int ldap_schema_get_field_names(LDAPSchemaElement* element, char*** names);

// NULL-terminated values of field `name` (case-insensitive); for "NAME" the
// primary name comes first. Returns 0, LDAP_NO_SUCH_ATTRIBUTE when the
// element has no such field, or another LDAP result code. Release the list
// with ldap_value_free.
int ldap_schema_get_field_values(LDAPSchemaElement* element, const char* name, char*** values);

void ldap_schema_free(LDAPSchema* schema);

// Asks the server to take up schema changes. Returns 0 or an LDAP result code.
int ldap_refresh_server(LDAP* ld);

#ifdef __cplusplus
}
#endif

#endif  // LDAPX_H_
