#include "ldif/apply.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/file_io.h"
#include "base/result_codes.h"
#include "ldif/modifications.h"
#include "ldif/reader.h"

namespace {

constexpr const char* kNamePrefix = "kivconfig";
// The parameter-error code of the classic LDAP client API (libldap calls it
// -9 as LDAP_PARAM_ERROR); the schema step tells malformed files by it.
constexpr int kMalformedRecord = 89;
// A file that cannot be opened or read to its end: the same failure for the
// caller either way, and the code the classic client API gives a file that
// cannot be opened.
constexpr int kFileNotRead = 1;

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

// Whether the `length` bytes at `text` are `keyword`, ignoring case.
template <size_t size>
bool isKeyword(const char* text, size_t length, const char (&keyword)[size]) {
  return length == size - 1 && sameTextIgnoringCase(text, keyword, length);
}

template <size_t size>
bool isType(const LdifField& line, const char (&keyword)[size]) {
  return isKeyword(line.type, line.typeLength, keyword);
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

int takeChangeType(RecordState* state, const char* value, size_t length) {
  if (value == nullptr) {
    return invalidFormat(*state);
  }
  if (isKeyword(value, length, "modify")) {
    state->newEntry = false;
    state->expectModifyOperation = true;
  } else if (isKeyword(value, length, "add")) {
    state->newEntry = true;
  } else if (isKeyword(value, length, "modrdn") || isKeyword(value, length, "moddn") ||
             isKeyword(value, length, "rename")) {
    state->expectNewRdn = true;
  } else if (isKeyword(value, length, "delete")) {
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
int takeAttributeLine(RecordState* state, const LdifField& line) {
  const char* type = line.type;
  const char* value = line.value;
  if (state->expectNewRdn) {
    if (!isType(line, "newrdn")) {
      return expecting(*state, "newrdn", type);
    }
    state->expectNewRdn = false;
    state->expectDeleteOldRdn = true;
    state->haveNewRdn = true;
    return copyText(value, &state->newRdn);
  }
  if (state->expectDeleteOldRdn) {
    if (!isType(line, "deleteoldrdn")) {
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
    if (!isType(line, "newsuperior")) {
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
  return addModification(&state->modifications, state->modifyOperation, line.type, line.typeLength,
                         line.value, line.valueLength);
}

// An operation line ("add:", "replace:", "delete:"), or the first attribute
// line of a record or block that names none, which then replaces.
int takeModifyOperation(RecordState* state, const LdifField& line) {
  state->expectModifyOperation = false;
  state->expectSeparator = true;
  if (isType(line, "add")) {
    state->modifyOperation = LDAP_MOD_ADD;
    return 0;
  }
  int operation = isType(line, "replace")  ? LDAP_MOD_REPLACE
                  : isType(line, "delete") ? LDAP_MOD_DELETE
                                           : -1;
  if (operation < 0) {
    state->modifyOperation = LDAP_MOD_REPLACE;
    return takeAttributeLine(state, line);
  }
  if (line.value == nullptr) {
    return invalidFormat(*state);
  }
  state->modifyOperation = operation;
  // The attribute is named by the value as text, up to a NUL byte.
  return addModification(&state->modifications, operation, line.value, strlen(line.value), nullptr,
                         0);
}

// Handles one logical line. Returns 0, 89 (the record stops) or
// kLdifOutOfMemory.
int takeLine(RecordState* state, const LdifLine& text, bool firstRecord) {
  ++state->lineNumber;
  if (state->expectSeparator && text.length == 1 && text.text[0] == '-') {
    state->expectSeparator = false;
    state->expectChangeType = true;
    return 0;
  }
  LdifField line;
  if (text.holdsNul || parseLdifLine(text, &line) != 0) {
    return invalidFormat(*state);
  }
  const char* value = line.value;
  if (!state->haveDn) {
    if (firstRecord && state->lineNumber == 1 && isType(line, "version")) {
      if (line.valueLength == 0 || atoi(value) != 1) {
        fprintf(stderr, "%s: invalid version %s, line %d (ignored)\n", kNamePrefix,
                value != nullptr ? value : "(null)", 1);
      }
      ++state->versionLines;
    } else if (isType(line, "dn")) {
      state->haveDn = true;
      state->expectChangeType = true;
      return copyText(value, &state->dn);
    }
    return 0;
  }
  if (state->expectChangeType) {
    state->expectChangeType = false;
    if (isType(line, "changetype")) {
      return takeChangeType(state, value, line.valueLength);
    }
    return takeModifyOperation(state, line);
  }
  if (state->expectModifyOperation) {
    return takeModifyOperation(state, line);
  }
  return takeAttributeLine(state, line);
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
              entry.attribute, state.dn.c_str());
      return kMalformedRecord;
    }
  }
  return sendModifications(run);
}

int applyRecord(Run* run, LdifRecord* record, bool firstRecord) {
  run->state.startRecord();
  int stopped = 0;
  LdifLine line;
  while (nextLdifLine(record, &line)) {
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
  UniqueFd file(open(path, O_RDONLY | O_CLOEXEC));
  if (!file.valid()) {
    perror(path);
    return kFileNotRead;
  }
  signal(SIGPIPE, SIG_IGN);
  bool firstRecord = true;
  int lastResult = 0;
  Run run{directory, {}, {}};
  LdifInput input;
  input.fd = file.get();
  LdifRecord record;
  for (;;) {
    switch (readLdifRecord(&input, &record)) {
      case LdifReadResult::kRecord:
        break;
      case LdifReadResult::kEndOfInput:
        return lastResult;
      case LdifReadResult::kReadError:
        fprintf(stderr, "%s: cannot read %s: %s\n", kNamePrefix, path, strerror(input.error));
        return kFileNotRead;
      case LdifReadResult::kOutOfMemory:
        return kLdifOutOfMemory;
    }
    lastResult = applyRecord(&run, &record, firstRecord);
    firstRecord = false;
    if (lastResult != LDAP_SUCCESS && lastResult != LDAP_TYPE_OR_VALUE_EXISTS &&
        lastResult != LDAP_ALREADY_EXISTS) {
      return lastResult;
    }
  }
}
