#include "cli/prompt.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/messages.h"
#include "base/run_settings.h"
#include "base/terminal_input.h"
#include "kiv.h"

std::string promptForDirectoryName(Host& host, const char* prompt) {
  std::string typed;
  WordStatus status = promptForWord(host, prompt, typed);
  if (status == WordStatus::kEndOfInput)
    fputs(tr("Invalid entry\n"), stdout);
  if (status != WordStatus::kRead)
    exit(1);
  std::vector<char> utf8(kNameBufferSize);
  if (locs2utfs(utf8.data(), typed.c_str(), utf8.size()) < 0) {
    fputs(tr("Error converting local string to UTF-8 format"), stdout);
    exit(1);
  }
  return utf8.data();
}
