#include "schema/schema.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/pause.h"
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
  const char** path;  // a variable, which unit tests point elsewhere
  bool (*present)(DirectoryRequests&);
  const char* presentText;
  // The file applied with some definitions already there.
  const char* partlyPresentText;
  const char* failurePrintFormat;  // with the code for %d
  const char* failureLog;
  const char* successText;
  const char* successLog;
};

// The schema files; unit tests use files of their own.
const char* accountSchemaPath = kSchemaFile;
const char* uniqueIdSchemaPath = kUniqueIdSchemaFile;

const SchemaFile kAccountSchema = {
    &accountSchemaPath,
    accountSchemaPresent,
    translatable("KIV Schema is already extended.\n"),
    translatable("KIV Schema is already extended, updating.\n"),
    "Error in extending the kiv(rfc2307) schema:%d\n",
    "Error in extending the kiv(rfc2307) schema.",
    translatable("KIV Schema is extended successfully.\n"),
    "KIV Schema is extended successfuly.",
};

const SchemaFile kUniqueIdSchema = {
    &uniqueIdSchemaPath,
    uniqueIdSchemaPresent,
    translatable("KIV Unique id schema is already extended.\n"),
    translatable("KIV Unique id schema is already extended.\n"),
    nullptr,
    "Error in extending the kivid schema.",
    translatable("KIV Unique id schema is extended successfully.\n"),
    "KIV Unique id schema is extended successfully.",
};

// Prints `text` translated and logs it without its line end.
void printAndLogLine(const char* text) {
  fputs(tr(text), stdout);
  std::string line(text);
  if (!line.empty() && line.back() == '\n')
    line.pop_back();
  writeLog(line);
}

// Applies `file` unless its names are present; 0 or the failing code.
int extendWith(DirectoryRequests& directory, const SchemaFile& file) {
  if (file.present(directory)) {
    printAndLogLine(file.presentText);
    return 0;
  }
  int rc = applyLdifFile(*file.path, directory);
  if (rc == LDAP_TYPE_OR_VALUE_EXISTS) {
    printAndLogLine(file.partlyPresentText);
    return 0;
  }
  if (rc != 0) {
    if (file.failurePrintFormat != nullptr)
      printf(file.failurePrintFormat, rc);
    writeLog(file.failureLog);
    return rc;
  }
  fputs(tr(file.successText), stdout);
  writeLog(file.successLog);
  fflush(stdout);
  pauseSeconds(kPauseAfterSchemaFile);
  return 0;
}

}  // namespace

int updateSchema(DirectoryRequests& directory, JoinMode mode) {
  writeLog("Schema found was not Corvex. Extending it to RFC2307 schema.");
  deleteIdMappings(directory);
  int rc = extendSchema(directory, mode);
  if (runSettings.serverVersion > kLastVersionWithoutIndices)
    addIdIndices(directory);
  return rc;
}

int extendSchema(DirectoryRequests& directory, JoinMode mode) {
  if (!isReadable(accountSchemaPath))
    return kSchemaFileMissing;
  if (mode == JoinMode::kAdd) {
    int rc = extendWith(directory, kAccountSchema);
    if (rc != 0)
      return rc;
  }
  if (!isReadable(uniqueIdSchemaPath))
    return kUniqueIdSchemaFileMissing;
  return extendWith(directory, kUniqueIdSchema);
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

void setSchemaFilesForTesting(const char* accountSchema, const char* uniqueIdSchema) {
  accountSchemaPath = accountSchema;
  uniqueIdSchemaPath = uniqueIdSchema;
}
