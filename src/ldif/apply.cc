#include "ldif/apply.h"

#include <strings.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "directory/session.h"
#include "ldif/reader.h"

namespace {

constexpr const char* kNamePrefix = "kivconfig";
// The parameter-error code of the classic LDAP client API (libldap calls it
// -9 as LDAP_PARAM_ERROR); the schema step tells malformed files by it.
constexpr int kMalformedRecord = 89;

void reportOutOfMemory(const char* call) {
  errno = ENOMEM;
  perror(call);
}

struct RecordState {
  bool haveDn = false;
  std::string dn;
  int lineNumber = 0;
  bool expectChangeType = false;
  bool expectSeparator = false;
  bool expectModifyOperation = false;
  int modifyOperation = LDAP_MOD_ADD;
  bool newEntry = false;
  bool expectNewRdn = false;
  bool expectDeleteOldRdn = false;
  bool expectNewSuperior = false;
  bool gotAll = false;
  bool deleteEntry = false;
  bool deleteOldRdn = true;
  bool haveNewRdn = false;
  std::string newRdn;
  bool haveNewSuperior = false;
  std::string newSuperior;
  int versionLines = 0;
  LdifModificationList modifications;
};

// The type and value of one parsed line.
struct LdifLine {
  BerText type;
  BerText value;  // null when absent
  ber_len_t length = 0;
};

// Copies a value that must be text (an absent one gives empty text); the copy
// stops at a NUL byte.
int copyText(const char* value, std::string* copy) {
  try {
    copy->assign(value != nullptr ? value : "");
  } catch (const std::bad_alloc&) {
    reportOutOfMemory("strdup");
    return kLdifOutOfMemory;
  }
  return 0;
}

int invalidFormat(const RecordState& state) {
  fprintf(stderr, "%s: invalid format (line %d) entry: \"%s\"\n", kNamePrefix, state.lineNumber,
          state.dn.c_str());
  return kMalformedRecord;
}

int expecting(const RecordState& state, const char* keyword, const char* seen) {
  fprintf(stderr, "%s: expecting \"%s:\" but saw \"%s:\" (line %d of entry \"%s\")\n", kNamePrefix,
          keyword, seen, state.lineNumber, state.dn.c_str());
  return kMalformedRecord;
}

int takeChangeType(RecordState* state, const char* value) {
  if (value == nullptr) {
    return invalidFormat(*state);
  }
  if (strcasecmp(value, "modify") == 0) {
    state->newEntry = false;
    state->expectModifyOperation = true;
  } else if (strcasecmp(value, "add") == 0) {
    state->newEntry = true;
  } else if (strcasecmp(value, "modrdn") == 0 || strcasecmp(value, "moddn") == 0 ||
             strcasecmp(value, "rename") == 0) {
    state->expectNewRdn = true;
  } else if (strcasecmp(value, "delete") == 0) {
    state->gotAll = true;
    state->deleteEntry = true;
  } else {
    fprintf(stderr, "%s:  unknown %s \"%s\" (line %d of entry \"%s\")\n", kNamePrefix, "changetype",
            value, state->lineNumber, state->dn.c_str());
    return kMalformedRecord;
  }
  return 0;
}

// Lines after a dn line or a modify-operation line: rename lines, or
// attribute lines added to the modification list.
int takeAttributeLine(RecordState* state, LdifLine* line) {
  const char* type = line->type.get();
  const char* value = line->value.get();
  if (state->expectNewRdn) {
    if (strcasecmp(type, "newrdn") != 0) {
      return expecting(*state, "newrdn", type);
    }
    state->expectNewRdn = false;
    state->expectDeleteOldRdn = true;
    state->haveNewRdn = true;
    return copyText(value, &state->newRdn);
  }
  if (state->expectDeleteOldRdn) {
    if (strcasecmp(type, "deleteoldrdn") != 0) {
      return expecting(*state, "deleteoldrdn", type);
    }
    if (value == nullptr) {
      return invalidFormat(*state);
    }
    state->deleteOldRdn = value[0] != '0';
    state->expectDeleteOldRdn = false;
    state->expectNewSuperior = true;
    state->gotAll = true;
    return 0;
  }
  if (state->expectNewSuperior) {
    if (strcasecmp(type, "newsuperior") != 0) {
      return expecting(*state, "newsuperior", type);
    }
    state->expectNewSuperior = false;
    state->haveNewSuperior = true;
    return copyText(value, &state->newSuperior);
  }
  if (state->gotAll) {
    fprintf(stderr, "%s: extra lines at end (line %d of entry \"%s\")\n", kNamePrefix,
            state->lineNumber, state->dn.c_str());
    return kMalformedRecord;
  }
  return addModification(&state->modifications, state->modifyOperation, type,
                         LdifValue{std::move(line->value), line->length});
}

// An operation line ("add:", "replace:", "delete:"), or the first attribute
// line of a record or block that names none, which then replaces.
int takeModifyOperation(RecordState* state, LdifLine* line) {
  const char* type = line->type.get();
  state->expectModifyOperation = false;
  state->expectSeparator = true;
  if (strcasecmp(type, "add") == 0) {
    state->modifyOperation = LDAP_MOD_ADD;
    return 0;
  }
  int operation = strcasecmp(type, "replace") == 0  ? LDAP_MOD_REPLACE
                  : strcasecmp(type, "delete") == 0 ? LDAP_MOD_DELETE
                                                    : -1;
  if (operation < 0) {
    state->modifyOperation = LDAP_MOD_REPLACE;
    return takeAttributeLine(state, line);
  }
  if (line->value == nullptr) {
    return invalidFormat(*state);
  }
  state->modifyOperation = operation;
  return addModification(&state->modifications, operation, line->value.get(), LdifValue{});
}

// Handles one logical line. Returns 0, 89 (the record stops) or -6025.
int takeLine(RecordState* state, char* text, bool firstRecord) {
  ++state->lineNumber;
  if (state->expectSeparator && strcmp(text, "-") == 0) {
    state->expectSeparator = false;
    state->expectChangeType = true;
    return 0;
  }
  LdifLine line;
  char* type = nullptr;
  char* value = nullptr;
  int parsed = parseLdifLine(text, &type, &value, &line.length);
  line.type.reset(type);
  line.value.reset(value);
  if (parsed != 0) {
    return invalidFormat(*state);
  }
  if (!state->haveDn) {
    if (firstRecord && state->lineNumber == 1 && strcasecmp(type, "version") == 0) {
      if (line.length == 0 || atoi(value) != 1) {
        fprintf(stderr, "%s: invalid version %s, line %d (ignored)\n", kNamePrefix,
                value != nullptr ? value : "(null)", 1);
      }
      ++state->versionLines;
    } else if (strcasecmp(type, "dn") == 0) {
      state->haveDn = true;
      state->expectChangeType = true;
      return copyText(value, &state->dn);
    }
    return 0;
  }
  if (state->expectChangeType) {
    state->expectChangeType = false;
    if (strcasecmp(type, "changetype") == 0) {
      return takeChangeType(state, value);
    }
    return takeModifyOperation(state, &line);
  }
  if (state->expectModifyOperation) {
    return takeModifyOperation(state, &line);
  }
  return takeAttributeLine(state, &line);
}

// The NULL-terminated LDAPMod array of a modification list; it points into
// the list, which must outlive it.
class LdapModArray {
 public:
  explicit LdapModArray(const LdifModificationList& list) {
    size_t valueCount = 0;
    for (const LdifModification& modification : list) {
      valueCount += modification.values.size();
    }
    // Reserved up front: the arrays point into each other.
    mods_.resize(list.size());
    values_.reserve(valueCount);
    valuePointers_.reserve(valueCount + list.size());
    modPointers_.reserve(list.size() + 1);
    for (size_t i = 0; i < list.size(); ++i) {
      const LdifModification& modification = list[i];
      LDAPMod& mod = mods_[i];
      mod.mod_op = modification.operation;
      mod.mod_type = const_cast<char*>(modification.attribute.c_str());
      if (!modification.values.empty()) {
        mod.mod_bvalues = valuePointers_.data() + valuePointers_.size();
        for (const LdifValue& value : modification.values) {
          values_.push_back(berval{value.length, value.bytes.get()});
          valuePointers_.push_back(&values_.back());
        }
        valuePointers_.push_back(nullptr);
      }
      modPointers_.push_back(&mod);
    }
    modPointers_.push_back(nullptr);
  }
  LDAPMod** get() { return modPointers_.data(); }

 private:
  std::vector<LDAPMod> mods_;
  std::vector<berval> values_;
  std::vector<berval*> valuePointers_;
  std::vector<LDAPMod*> modPointers_;
};

int sendModifications(RecordState* state, const LdifDirectoryOperations& operations) {
  try {
    LdapModArray mods(state->modifications);
    const char* dn = state->dn.c_str();
    return state->newEntry ? operations.add(operations.context, dn, mods.get())
                           : operations.modify(operations.context, dn, mods.get());
  } catch (const std::bad_alloc&) {
    reportOutOfMemory("realloc");
    return kLdifOutOfMemory;
  }
}

// Applies a record whose lines have all been taken (or which stopped with
// `stopped`, 89 or 0) and returns its result.
int finishRecord(RecordState* state, int stopped, const LdifDirectoryOperations& operations) {
  if (state->lineNumber == 0) {
    return 0;
  }
  if (state->lineNumber == 1 && state->versionLines == 1) {
    return 0;
  }
  if (stopped != 0) {
    return stopped;
  }
  if (state->deleteEntry) {
    printf("%sdeleting entry \"%s\"\n", "", state->dn.c_str());
    int result = operations.remove(operations.context, state->dn.c_str());
    printf("\n");
    return result;
  }
  if (state->haveNewRdn) {
    printf("%smodifying rdn of entry \"%s\"\n", "", state->dn.c_str());
    int result = operations.rename(operations.context, state->dn.c_str(), state->newRdn.c_str(),
                                   state->haveNewSuperior ? state->newSuperior.c_str() : nullptr,
                                   state->deleteOldRdn ? 1 : 0);
    printf("\n");
    return result;
  }
  if (state->modifications.empty()) {
    fprintf(stderr, "%s: no attributes to change or add (entry=\"%s\")\n", kNamePrefix,
            state->dn.c_str());
    return kMalformedRecord;
  }
  for (const LdifModification& modification : state->modifications) {
    if (modification.operation == (LDAP_MOD_ADD | LDAP_MOD_BVALUES) &&
        modification.values.empty()) {
      fprintf(stderr, "%s: attribute \"%s\" has no values (entry=\"%s\")\n", kNamePrefix,
              modification.attribute.c_str(), state->dn.c_str());
      return kMalformedRecord;
    }
  }
  return sendModifications(state, operations);
}

int applyRecord(char* text, bool firstRecord, const LdifDirectoryOperations& operations) {
  RecordState state;
  char* cursor = text;
  int stopped = 0;
  while (char* line = nextLdifLine(&cursor)) {
    int result = takeLine(&state, line, firstRecord);
    if (result == kLdifOutOfMemory) {
      return result;
    }
    if (result != 0) {
      stopped = result;
      break;
    }
  }
  return finishRecord(&state, stopped, operations);
}

int sessionAdd(void*, const char* dn, LDAPMod** modifications) {
  LDAP* session = directorySession();
  return session == nullptr ? LDAP_SERVER_DOWN : ldap_add_s(session, dn, modifications);
}

int sessionModify(void*, const char* dn, LDAPMod** modifications) {
  LDAP* session = directorySession();
  return session == nullptr ? LDAP_SERVER_DOWN : ldap_modify_s(session, dn, modifications);
}

int sessionDelete(void*, const char* dn) {
  LDAP* session = directorySession();
  return session == nullptr ? LDAP_SERVER_DOWN : ldap_delete_s(session, dn);
}

int sessionRename(void*, const char* dn, const char* newRdn, const char* newSuperior,
                  int deleteOldRdn) {
  LDAP* session = directorySession();
  if (session == nullptr) {
    return LDAP_SERVER_DOWN;
  }
  return ldap_rename_s(session, dn, newRdn, newSuperior, deleteOldRdn, nullptr, nullptr);
}

}  // namespace

int addModification(LdifModificationList* list, int operation, const char* attribute,
                    LdifValue value) {
  int combined = operation | LDAP_MOD_BVALUES;
  LdifModification* entry = nullptr;
  for (LdifModification& candidate : *list) {
    if (candidate.operation == combined &&
        strcasecmp(candidate.attribute.c_str(), attribute) == 0) {
      entry = &candidate;
      break;
    }
  }
  try {
    if (entry == nullptr) {
      list->push_back(LdifModification{combined, attribute, {}});
      entry = &list->back();
    }
    if (value.bytes != nullptr) {
      entry->values.push_back(std::move(value));
    }
  } catch (const std::bad_alloc&) {
    reportOutOfMemory("realloc");
    return kLdifOutOfMemory;
  }
  return 0;
}

LdifDirectoryOperations sessionDirectoryOperations() {
  return LdifDirectoryOperations{nullptr, sessionAdd, sessionModify, sessionDelete, sessionRename};
}

int applyLdifFile(const char* path) {
  return applyLdifFile(path, sessionDirectoryOperations());
}

int applyLdifFile(const char* path, const LdifDirectoryOperations& operations) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path, "r"));
  if (file == nullptr) {
    perror(path);
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  bool firstRecord = true;
  int lastResult = 0;
  for (;;) {
    LdifRecord record = readLdifRecord(file.get());
    if (record.result != 0) {
      return record.result;
    }
    if (record.text == nullptr) {
      return lastResult;
    }
    lastResult = applyRecord(record.text.get(), firstRecord, operations);
    firstRecord = false;
    if (lastResult != LDAP_SUCCESS && lastResult != LDAP_TYPE_OR_VALUE_EXISTS &&
        lastResult != LDAP_ALREADY_EXISTS) {
      return lastResult;
    }
  }
}
