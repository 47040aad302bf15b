#include "schema/schema.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/messages.h"
#include "base/result_codes.h"
#include "ldif/apply.h"
#include "schema/indices.h"

namespace {

// The server takes a moment to make an applied schema file effective.
constexpr unsigned kPauseAfterSchemaFile = 5;

// 8.5 is the last version without the uidNumber and gidNumber indices.
constexpr float kLastVersionWithoutIndices = 8.5f;

bool isReadable(const char* path) {
  FILE* file = fopen(path, "r");
  if (file == nullptr)
    return false;
  fclose(file);
  return true;
}

// The account-services schema is present when all three names are.
bool accountSchemaPresent(DirectoryRequests& directory) {
  return schemaHasObjectClass(directory, "qupPosixConfig") == 0 &&
         schemaHasObjectClass(directory, "qupPosixWorkstation") == 0 &&
         schemaHasElementName(directory, SchemaElementKind::kAttributeType,
                              "qupPosixPAMServiceExcludeList") == 0;
}

bool uniqueIdSchemaPresent(DirectoryRequests& directory) {
  return schemaHasObjectClass(directory, "qupPosixUidNumberInfo") == 0 &&
         schemaHasObjectClass(directory, "qupPosixGidNumberInfo") == 0;
}

// One schema file and what is said about it. The terminal texts are
// printed translated, the log texts logged; a null text says nothing.
struct SchemaFile {
  bool (*present)(DirectoryRequests&);
  const char* presentText;
  // The file applied with some definitions already there.
  const char* partlyPresentText;
  const char* failurePrintFormat;  // with the code for %d
  const char* failureLog;
  const char* successText;
  const char* successLog;
};

const SchemaFile kAccountSchema = {
    accountSchemaPresent,
    translatable("KIV Schema is already extended.\n"),
    translatable("KIV Schema is already extended, updating.\n"),
    "Error in extending the kiv(rfc2307) schema:%d\n",
    "Error in extending the kiv(rfc2307) schema.",
    translatable("KIV Schema is extended successfully.\n"),
    "KIV Schema is extended successfuly.",
};

const SchemaFile kUniqueIdSchema = {
    uniqueIdSchemaPresent,
    translatable("KIV Unique id schema is already extended.\n"),
    translatable("KIV Unique id schema is already extended.\n"),
    nullptr,
    "Error in extending the kivid schema.",
    translatable("KIV Unique id schema is extended successfully.\n"),
    "KIV Unique id schema is extended successfully.",
};

// Applies `file` unless its names are present; 0 or the failing code.
int extendWith(DirectoryRequests& directory, Host& host, const char* path, const SchemaFile& file) {
  if (file.present(directory)) {
    printAndLogLine(host, file.presentText);
    return 0;
  }
  int rc = applyLdifFile(path, directory);
  if (rc == LDAP_TYPE_OR_VALUE_EXISTS) {
    printAndLogLine(host, file.partlyPresentText);
    return 0;
  }
  if (rc != 0) {
    if (file.failurePrintFormat != nullptr)
      printf(file.failurePrintFormat, rc);
    host.log(file.failureLog);
    return rc;
  }
  fputs(tr(file.successText), stdout);
  host.log(file.successLog);
  fflush(stdout);
  host.pause(kPauseAfterSchemaFile);
  return 0;
}

}  // namespace

int updateSchema(DirectoryRequests& directory, Host& host, const SchemaFiles& files, JoinMode mode,
                 float serverVersion) {
  host.log("Schema found was not Corvex. Extending it to RFC2307 schema.");
  deleteIdMappings(directory);
  int rc = extendSchema(directory, host, files, mode);
  if (serverVersion > kLastVersionWithoutIndices)
    addIdIndices(directory, host);
  return rc;
}

int extendSchema(DirectoryRequests& directory, Host& host, const SchemaFiles& files,
                 JoinMode mode) {
  if (!isReadable(files.accountSchema.c_str()))
    return kSchemaFileMissing;
  if (mode == JoinMode::kAdd) {
    int rc = extendWith(directory, host, files.accountSchema.c_str(), kAccountSchema);
    if (rc != 0)
      return rc;
  }
  if (!isReadable(files.uniqueIdSchema.c_str()))
    return kUniqueIdSchemaFileMissing;
  return extendWith(directory, host, files.uniqueIdSchema.c_str(), kUniqueIdSchema);
}

int schemaHasObjectClass(DirectoryRequests& directory, const char* name) {
  std::vector<DirectoryEntry> entries;
  if (directory.search("cn=schema", SearchScope::kBase, "objectclass=*", {}, entries) != 0)
    return kCannotReadSchema;
  if (entries.empty())
    return kSchemaNameAbsent;
  for (const DirectoryAttribute& attribute : entries.front().attributes) {
    if (strcasecmp(attribute.name.c_str(), "objectClasses") != 0)
      continue;
    for (const std::string& definition : attribute.values) {
      if (definition.find(name) != std::string::npos)
        return 0;
    }
  }
  return kSchemaNameAbsent;
}

int schemaHasElementName(DirectoryRequests& directory, SchemaElementKind kind, const char* name) {
  std::vector<std::string> names;
  if (directory.readSchemaNames(kind, names) != 0)
    return 1;
  return std::find(names.begin(), names.end(), name) != names.end() ? 0 : 1;
}
