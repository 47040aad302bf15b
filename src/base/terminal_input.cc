#include "base/terminal_input.h"

#include <cctype>
#include <vector>

#include "base/messages.h"
#include "base/run_settings.h"
#include "base/server_name.h"
#include "kiv.h"

WordStatus readTerminalWord(FILE* in, std::string& word, size_t maxLength) {
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

WordStatus promptForWord(Host& host, const char* prompt, std::string& word) {
  fputs(prompt, stdout);
  fflush(stdout);
  WordStatus status = host.readWord(word, kNameBufferSize - 1);
  if (status == WordStatus::kTooLong) {
    printf(tr("The name is too long: at most %d bytes are accepted\n"),
           static_cast<int>(kNameBufferSize - 1));
  }
  return status;
}

std::optional<std::string> promptForServer(Host& host) {
  std::string typed;
  WordStatus status = promptForWord(host, tr("Enter LDAP server:"), typed);
  if (status == WordStatus::kTooLong)
    return std::nullopt;
  if (status == WordStatus::kEndOfInput)
    return "localhost";
  if (!isValidServerName(typed)) {
    reportInvalidServerName(host, typed);
    return std::nullopt;
  }
  return typed;
}

std::string localFormOf(const std::string& utf8, const char* failureText) {
  std::vector<char> local(kNameBufferSize);
  if (utfs2locs(local.data(), utf8.c_str(), local.size()) < 0) {
    fputs(failureText, stdout);
    return utf8;
  }
  return local.data();
}
