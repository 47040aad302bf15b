#include "cli/prompt.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "cli/messages.h"
#include "cli/run_settings.h"
#include "kiv.h"

WordStatus readWord(FILE* in, std::string& word, size_t maxLength) {
  word.clear();
  int c = fgetc(in);
  while (c != EOF && isspace(c))
    c = fgetc(in);
  if (c == EOF)
    return WordStatus::kEndOfInput;
  bool tooLong = false;
  while (c != EOF && !isspace(c)) {
    if (word.size() < maxLength) {
      word.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
    c = fgetc(in);
  }
  // scanf leaves the delimiter unread; the next prompt skips it anyway.
  if (c != EOF)
    ungetc(c, in);
  return tooLong ? WordStatus::kTooLong : WordStatus::kRead;
}

std::string promptForDirectoryName(const char* prompt) {
  fputs(prompt, stdout);
  fflush(stdout);
  std::string typed;
  WordStatus status = readWord(stdin, typed, kNameBufferSize - 1);
  if (status == WordStatus::kEndOfInput) {
    fputs(tr("Invalid entry\n"), stdout);
    exit(1);
  }
  if (status == WordStatus::kTooLong) {
    printf(tr("The name is too long: at most %d bytes are accepted\n"),
           static_cast<int>(kNameBufferSize - 1));
    exit(1);
  }
  std::vector<char> utf8(kNameBufferSize);
  if (locs2utfs(utf8.data(), typed.c_str(), utf8.size()) < 0) {
    fputs(tr("Error converting local string to UTF-8 format"), stdout);
    exit(1);
  }
  return utf8.data();
}

bool promptForServer() {
  fputs(tr("Enter LDAP server:"), stdout);
  fflush(stdout);
  std::string typed;
  WordStatus status = readWord(stdin, typed, kNameBufferSize - 1);
  if (status == WordStatus::kTooLong) {
    printf(tr("The name is too long: at most %d bytes are accepted\n"),
           static_cast<int>(kNameBufferSize - 1));
    return false;
  }
  runSettings.ldapServer = status == WordStatus::kRead ? typed : "localhost";
  return true;
}
