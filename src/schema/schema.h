// The account-services schema: decides whether the schema files must be
// applied, applies them, and reports the outcome.
#ifndef KIVCONFIG_SCHEMA_SCHEMA_H_
#define KIVCONFIG_SCHEMA_SCHEMA_H_

#include <string>

#include "base/directory_requests.h"
#include "base/host.h"
#include "base/run_settings.h"

// The two schema files: the account-services schema and the unique-id
// schema.
struct SchemaFiles {
  std::string accountSchema;
  std::string uniqueIdSchema;
};

// Result of schemaHasObjectClass for a name that no definition holds; it
// never leaves this unit.
constexpr int kSchemaNameAbsent = -6040;

// The schema stage of add and upgrade: removes the id mappings, extends the
// schema, and on servers whose `serverVersion` is above 8.5 adds the
// uidNumber and gidNumber indices. Returns extendSchema's result.
int updateSchema(DirectoryRequests& directory, Host& host, const SchemaFiles& files, JoinMode mode,
                 float serverVersion);

// Applies the account schema (not on upgrade) and the unique-id schema
// where their names are missing, pausing after each file applied. Returns 0,
// -6018 or -6019 for a missing file, or the change processor's code.
int extendSchema(DirectoryRequests& directory, Host& host, const SchemaFiles& files, JoinMode mode);

// 0 when some object-class definition of "cn=schema" contains `name` as a
// case-sensitive substring; -6017 when the schema cannot be searched;
// kSchemaNameAbsent otherwise.
int schemaHasObjectClass(DirectoryRequests& directory, const char* name);

// 0 when an element of `kind` has `name` as the first value of its NAME
// field; 1 when none has or the schema cannot be read.
int schemaHasElementName(DirectoryRequests& directory, SchemaElementKind kind, const char* name);

#endif  // KIVCONFIG_SCHEMA_SCHEMA_H_
