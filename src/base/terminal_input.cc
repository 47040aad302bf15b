#include "base/terminal_input.h"

#include <cctype>

#include "base/messages.h"
#include "base/run_settings.h"
#include "base/server_name.h"

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
  if (status == WordStatus::kRead && !isValidServerName(typed)) {
    reportInvalidServerName(typed);
    return false;
  }
  runSettings.ldapServer = status == WordStatus::kRead ? typed : "localhost";
  return true;
}
