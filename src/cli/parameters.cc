#include "cli/parameters.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/messages.h"
#include "base/run_settings.h"
#include "cli/report.h"

namespace {

bool isPrefixed(const char* word) {
  return word[0] == '-';
}

// Adds `word` to the value list; a list that is full ends the process.
void addToValueList(char* word) {
  if (runSettings.valueCount >= kValueListSlots - 1) {
    fprintf(stderr, tr("Too many parameters: at most %d are accepted\n"), kValueListSlots - 1);
    exit(1);
  }
  runSettings.valueList[runSettings.valueCount++] = word;
  runSettings.valueList[runSettings.valueCount] = nullptr;
}

// A prefixed word contributes the text after the first `letter` from its
// second character on. A remainder that starts with white space, or a word
// without the letter, contributes nothing.
void addPrefixedWord(char* word, char letter) {
  char* found = strchr(word + 1, letter);
  if (found == nullptr)
    return;
  char* remainder = found + 1;
  if (*remainder == ' ' || *remainder == '\t' || *remainder == '\n')
    return;
  addToValueList(remainder);
}

void parseGet(int argc, char** argv) {
  if (argc < 3 || isPrefixed(argv[2])) {
    runSettings.valueListMode = 'V';
    return;
  }
  if (strcmp(argv[2], "help") == 0) {
    if (argc < 4 || isPrefixed(argv[3])) {
      runSettings.valueListMode = 'H';
      return;
    }
    runSettings.valueListMode = 'h';
    for (int i = 3; i < argc; ++i) {
      if (strchr(argv[i], '=') != nullptr)
        continue;
      if (isPrefixed(argv[i])) {
        addPrefixedWord(argv[i], 'h');
      } else {
        addToValueList(argv[i]);
      }
    }
    if (runSettings.valueCount == 0)
      printUsage(1);
    return;
  }
  runSettings.valueListMode = 'v';
  for (int i = 2; i < argc; ++i) {
    if (strchr(argv[i], '=') != nullptr)
      printUsage(1);
    if (isPrefixed(argv[i])) {
      addPrefixedWord(argv[i], 'v');
    } else {
      addToValueList(argv[i]);
    }
  }
}

void parseSet(int argc, char** argv) {
  if (argc < 3 || isPrefixed(argv[2]))
    printUsage(1);
  runSettings.valueListMode = 's';
  for (int i = 2; i < argc; ++i) {
    if (strchr(argv[i], '=') == nullptr)
      printUsage(1);
    if (isPrefixed(argv[i])) {
      addPrefixedWord(argv[i], 's');
    } else {
      addToValueList(argv[i]);
    }
  }
}

}  // namespace

int parseValueList(int argc, char** argv) {
  if (strcmp(argv[1], "get") == 0) {
    parseGet(argc, argv);
  } else {
    parseSet(argc, argv);
  }
  return 0;
}
