#include "schema/schema.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/messages.h"
#include "cli/report.h"
#include "directory/ldap_error.h"
#include "directory/ldap_owners.h"
#include "directory/server_info.h"
#include "directory/session.h"
#include "host/paths.h"
#include "host/pause.h"
#include "ldapx.h"
#include "ldif/apply.h"
#include "schema/indices.h"

namespace {

// The server takes a moment to make an applied schema file effective.
constexpr unsigned kPauseAfterSchemaFile = 5;

// Only versions above this one know the uidNumber and gidNumber indices.
constexpr float kFirstVersionWithoutIndices = 8.5f;

bool isReadable(const char* path) {
  FILE* file = fopen(path, "r");
  if (file == nullptr)
    return false;
  fclose(file);
  return true;
}

struct SchemaRelease {
  void operator()(LDAPSchema* schema) const { ldap_schema_free(schema); }
};
using SchemaPtr = std::unique_ptr<LDAPSchema, SchemaRelease>;

// The account-services schema is present when all three names are.
bool accountSchemaPresent() {
  return schemaHasObjectClass("qupPosixConfig") == 0 &&
         schemaHasObjectClass("qupPosixWorkstation") == 0 &&
         schemaHasElementName(directorySession(), LDAP_SCHEMA_ATTRIBUTE_TYPE,
                              "qupPosixPAMServiceExcludeList") == 0;
}

bool uniqueIdSchemaPresent() {
  return schemaHasObjectClass("qupPosixUidNumberInfo") == 0 &&
         schemaHasObjectClass("qupPosixGidNumberInfo") == 0;
}

void reportUniqueIdSchemaPresent() {
  fputs(tr("KIV Unique id schema is already extended.\n"), stdout);
  writeLog("KIV Unique id schema is already extended.");
}

// Applies kiv.ldif unless its names are present; 0 or the failing code.
int extendAccountSchema() {
  if (accountSchemaPresent()) {
    fputs(tr("KIV Schema is already extended.\n"), stdout);
    writeLog("KIV Schema is already extended.");
    return 0;
  }
  int rc = applyLdifFile(kSchemaFile);
  if (rc == LDAP_TYPE_OR_VALUE_EXISTS) {
    fputs(tr("KIV Schema is already extended, updating.\n"), stdout);
    writeLog("KIV Schema is already extended, updating.");
    return 0;
  }
  if (rc != 0) {
    printf("Error in extending the kiv(rfc2307) schema:%d\n", rc);
    writeLog("Error in extending the kiv(rfc2307) schema.");
    return rc;
  }
  fputs(tr("KIV Schema is extended successfully.\n"), stdout);
  writeLog("KIV Schema is extended successfuly.");
  fflush(stdout);
  pauseSeconds(kPauseAfterSchemaFile);
  return 0;
}

int extendUniqueIdSchema() {
  if (uniqueIdSchemaPresent()) {
    reportUniqueIdSchemaPresent();
    return 0;
  }
  int rc = applyLdifFile(kUniqueIdSchemaFile);
  if (rc == LDAP_TYPE_OR_VALUE_EXISTS) {
    reportUniqueIdSchemaPresent();
    return 0;
  }
  if (rc != 0) {
    writeLog("Error in extending the kivid schema.");
    return rc;
  }
  fputs(tr("KIV Unique id schema is extended successfully.\n"), stdout);
  writeLog("KIV Unique id schema is extended successfully.");
  fflush(stdout);
  pauseSeconds(kPauseAfterSchemaFile);
  return 0;
}

// 0 when `element`'s NAME field has `name` first; 1 when not; -1 after a
// failure that ends the walk.
int elementHasName(LDAPSchemaElement* element, const char* name) {
  char** rawFields = nullptr;
  int rc = ldap_schema_get_field_names(element, &rawFields);
  if (rc != 0) {
    printf("Error in function ldap_schema_get_field_names: %s(%d)", ldapErrorText(rc), rc);
    return -1;
  }
  LdapValuesPtr fields(rawFields);
  for (char** field = fields.get(); field != nullptr && *field != nullptr; ++field) {
    if (strcasecmp(*field, "NAME") != 0)
      continue;
    char** rawValues = nullptr;
    rc = ldap_schema_get_field_values(element, *field, &rawValues);
    if (rc != 0) {
      printf("Error in function ldap_schema_get_field_values: %s(%d)", ldapErrorText(rc), rc);
      return 1;
    }
    LdapValuesPtr values(rawValues);
    if (values != nullptr && values.get()[0] != nullptr && strcmp(values.get()[0], name) == 0) {
      return 0;
    }
  }
  return 1;
}

}  // namespace

int updateSchema(int upgrade) {
  writeLog("Schema found was not Corvex. Extending it to RFC2307 schema.");
  deleteIdMappings();
  int rc = extendSchema(upgrade);
  if (serverVersion > kFirstVersionWithoutIndices)
    addIdIndices();
  return rc;
}

int extendSchema(int upgrade) {
  if (!isReadable(kSchemaFile))
    return kSchemaFileMissing;
  if (upgrade == 0) {
    int rc = extendAccountSchema();
    if (rc != 0)
      return rc;
  }
  if (!isReadable(kUniqueIdSchemaFile))
    return kUniqueIdSchemaFileMissing;
  return extendUniqueIdSchema();
}

int schemaHasObjectClass(const char* name) {
  LDAPMessage* raw = nullptr;
  int rc = ldap_search_ext_s(directorySession(), "cn=schema", LDAP_SCOPE_BASE, "objectclass=*",
                             nullptr, 0, nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &raw);
  LdapMessagePtr result(raw);
  if (rc != LDAP_SUCCESS || result == nullptr)
    return kCannotReadSchema;
  LDAPMessage* entry = ldap_first_entry(directorySession(), result.get());
  if (entry == nullptr)
    return kSchemaNameAbsent;
  BerElement* rawCursor = nullptr;
  int found = kSchemaNameAbsent;
  for (char* attribute = ldap_first_attribute(directorySession(), entry, &rawCursor);
       attribute != nullptr && found != 0;
       attribute = ldap_next_attribute(directorySession(), entry, rawCursor)) {
    LdapStringPtr attributeOwner(attribute);
    if (strcasecmp(attribute, "objectClasses") != 0)
      continue;
    LdapValuesPtr values(ldap_get_values(directorySession(), entry, attribute));
    for (char** value = values.get(); value != nullptr && *value != nullptr; ++value) {
      if (strstr(*value, name) != nullptr) {
        found = 0;
        break;
      }
    }
  }
  BerCursorPtr cursor(rawCursor);
  return found;
}

int schemaHasElementName(LDAP* session, int kind, const char* name) {
  LDAPSchema* raw = nullptr;
  int rc = ldap_schema_fetch(session, &raw, nullptr);
  if (rc != 0) {
    printf("Error in function ldap_schema_fetch: %s\n", ldapErrorText(rc));
    return 1;
  }
  SchemaPtr schema(raw);
  int count = ldap_schema_get_count(schema.get(), kind);
  for (int index = 0; index < count; ++index) {
    LDAPSchemaElement* element = nullptr;
    rc = ldap_schema_get_by_index(schema.get(), index, kind, &element);
    if (rc != 0) {
      printf("Error in function ldap_schema_get_by_index: %s(%d)", ldapErrorText(rc), rc);
      return 1;
    }
    int named = elementHasName(element, name);
    if (named == 0)
      return 0;
    if (named < 0)
      return 1;
  }
  return 1;
}
