#include "cli/parameters.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/messages.h"
#include "base/run_settings.h"
#include "base/server_name.h"
#include "cli/report.h"
#include "config/client_config.h"
#include "host/services.h"
#include "kiv.h"

namespace {

// The name and the value of a set word each hold at most this many bytes.
constexpr size_t kParameterBufferSize = 4096;

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

// Every preferred-server value is checked before any word is acted on, so
// a refused name leaves the store and the daemons as they were. A word that
// cannot be split is left to the caller's loop, which reports it.
bool preferredServersValid(char** list) {
  for (char** word = list; *word != nullptr; ++word) {
    std::vector<char> name(kParameterBufferSize);
    std::vector<char> value(kParameterBufferSize);
    if (getParameterValue(*word, name.data(), name.size(), value.data(), value.size()) != 0 ||
        value[0] == '\0' || strcasecmp(name.data(), "preferred-server") != 0) {
      continue;
    }
    if (!isValidServerName(value.data())) {
      reportInvalidServerName(value.data());
      return false;
    }
  }
  return true;
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

int runParameterCommand(void* context, char mode, char** list, int flags) {
  if (mode != 's')
    return vrd_config(context, mode, list, flags);
  if (!preferredServersValid(list))
    return kAlreadyReported;
  int otherWords = 0;
  for (char** word = list; *word != nullptr; ++word) {
    std::vector<char> name(kParameterBufferSize);
    std::vector<char> value(kParameterBufferSize);
    if (getParameterValue(*word, name.data(), name.size(), value.data(), value.size()) != 0) {
      printf(tr("Invalid parameter \"%.64s\": expected name=value, each at most %d bytes\n"), *word,
             static_cast<int>(kParameterBufferSize - 1));
      return kAlreadyReported;
    }
    if (value[0] == '\0') {
      printf(tr("Value missing for the parameter :%s\n"), name.data());
      return kAlreadyReported;
    }
    if (strcasecmp(name.data(), "preferred-server") == 0) {
      if (storePreferredServer(value.data()) != 0)
        return kAlreadyReported;
      fputs(tr("Updated the preferred server successfully\n"), stdout);
      fflush(stdout);
      restartServices();
    } else {
      ++otherWords;
    }
  }
  if (otherWords > 0)
    return vrd_config(context, 's', list, flags);
  return 0;
}
