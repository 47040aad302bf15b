#include "cli/prompt.h"

#include <cstdlib>
#include <vector>

#include "base/messages.h"
#include "base/run_settings.h"
#include "base/terminal_input.h"
#include "kiv.h"

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
