// The front end's prompts for the partition root and the workstation context.
#ifndef KIVCONFIG_CLI_PROMPT_H_
#define KIVCONFIG_CLI_PROMPT_H_

#include <string>

#include "base/host.h"

// Prints `prompt` (already translated), reads a directory name, converts it
// to UTF-8 and returns it. End of input, an overlong word or a failed
// conversion print their message and end the process with status 1.
std::string promptForDirectoryName(Host& host, const char* prompt);

#endif  // KIVCONFIG_CLI_PROMPT_H_
