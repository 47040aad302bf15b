#include "ldif/apply.h"

#include <strings.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "ldif/modifications.h"
#include "ldif/reader.h"

namespace {

constexpr const char* kNamePrefix = "kivconfig";
// The parameter-error code of the classic LDAP client API (libldap calls it
// -9 as LDAP_PARAM_ERROR); the schema step tells malformed files by it.
constexpr int kMalformedRecord = 89;

// What the lines of one record have said so far. One object serves a whole
// run: startRecord() resets it and keeps its memory.
struct RecordState {
  bool haveDn;
  std::string dn;
  int lineNumber;
  bool expectChangeType;
  bool expectSeparator;
  bool expectModifyOperation;
  int modifyOperation;
  bool newEntry;
  bool expectNewRdn;
  bool expectDeleteOldRdn;
  bool expectNewSuperior;
  bool gotAll;
  bool deleteEntry;
  bool deleteOldRdn;
  bool haveNewRdn;
  std::string newRdn;
  bool haveNewSuperior;
  std::string newSuperior;
  int versionLines;
  LdifModificationList modifications;

  void startRecord() {
    haveDn = false;
    dn.clear();
    lineNumber = 0;
    expectChangeType = false;
    expectSeparator = false;
    expectModifyOperation = false;
    modifyOperation = LDAP_MOD_ADD;
    newEntry = false;
    expectNewRdn = false;
    expectDeleteOldRdn = false;
    expectNewSuperior = false;
    gotAll = false;
    deleteEntry = false;
    deleteOldRdn = true;
    haveNewRdn = false;
    newRdn.clear();
    haveNewSuperior = false;
    newSuperior.clear();
    versionLines = 0;
    modifications.clear();
  }
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

// Handles one logical line. Returns 0, 89 (the record stops) or
// kLdifOutOfMemory.
int takeLine(RecordState* state, const char* text, bool firstRecord) {
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

// The state of one applyLdifFile call.
struct Run {
  DirectoryRequests& directory;
  RecordState state;
  LdapModArray mods;
};

int sendModifications(Run* run) {
  LDAPMod** mods = run->mods.build(run->state.modifications);
  if (mods == nullptr) {
    return kLdifOutOfMemory;
  }
  const std::string& dn = run->state.dn;
  return run->state.newEntry ? run->directory.add(dn, mods) : run->directory.modify(dn, mods);
}

// Applies a record whose lines have all been taken (or which stopped with
// `stopped`, 89 or 0) and returns its result.
int finishRecord(Run* run, int stopped) {
  const RecordState& state = run->state;
  if (state.lineNumber == 0) {
    return 0;
  }
  if (state.lineNumber == 1 && state.versionLines == 1) {
    return 0;
  }
  if (stopped != 0) {
    return stopped;
  }
  if (state.deleteEntry) {
    printf("%sdeleting entry \"%s\"\n", "", state.dn.c_str());
    int result = run->directory.remove(state.dn);
    printf("\n");
    return result;
  }
  if (state.haveNewRdn) {
    printf("%smodifying rdn of entry \"%s\"\n", "", state.dn.c_str());
    int result = run->directory.rename(state.dn, state.newRdn,
                                       state.haveNewSuperior ? state.newSuperior.c_str() : nullptr,
                                       state.deleteOldRdn);
    printf("\n");
    return result;
  }
  if (state.modifications.empty()) {
    fprintf(stderr, "%s: no attributes to change or add (entry=\"%s\")\n", kNamePrefix,
            state.dn.c_str());
    return kMalformedRecord;
  }
  for (const LdifModification& entry : state.modifications.entries) {
    if (entry.operation == (LDAP_MOD_ADD | LDAP_MOD_BVALUES) && entry.valueCount == 0) {
      fprintf(stderr, "%s: attribute \"%s\" has no values (entry=\"%s\")\n", kNamePrefix,
              entry.attribute.c_str(), state.dn.c_str());
      return kMalformedRecord;
    }
  }
  return sendModifications(run);
}

int applyRecord(Run* run, char* text, bool firstRecord) {
  run->state.startRecord();
  char* cursor = text;
  int stopped = 0;
  while (char* line = nextLdifLine(&cursor)) {
    int result = takeLine(&run->state, line, firstRecord);
    if (result == kLdifOutOfMemory) {
      return result;
    }
    if (result != 0) {
      stopped = result;
      break;
    }
  }
  return finishRecord(run, stopped);
}

}  // namespace

int applyLdifFile(const char* path, DirectoryRequests& directory) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path, "r"));
  if (file == nullptr) {
    perror(path);
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  bool firstRecord = true;
  int lastResult = 0;
  Run run{directory, {}, {}};
  LdifRecord record;
  for (;;) {
    readLdifRecord(file.get(), &record);
    if (record.result != 0) {
      return record.result;
    }
    if (record.text == nullptr) {
      return lastResult;
    }
    lastResult = applyRecord(&run, record.text.get(), firstRecord);
    firstRecord = false;
    if (lastResult != LDAP_SUCCESS && lastResult != LDAP_TYPE_OR_VALUE_EXISTS &&
        lastResult != LDAP_ALREADY_EXISTS) {
      return lastResult;
    }
  }
}
