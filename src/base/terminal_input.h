// Words typed at the terminal's prompts.
#ifndef KIVCONFIG_BASE_TERMINAL_INPUT_H_
#define KIVCONFIG_BASE_TERMINAL_INPUT_H_

#include <cstdio>
#include <optional>
#include <string>

#include "base/host.h"

// Reads one whitespace-delimited word from `in`, skipping leading white space
// and empty lines, as scanf's "%s" does. A word longer than `maxLength` bytes
// is consumed whole and reported as kTooLong.
WordStatus readTerminalWord(FILE* in, std::string& word, size_t maxLength);

// Prints `prompt` (already translated) and reads one word of at most a name
// buffer's length. An overlong word is said to be too long here; end of
// input is left to the caller, since what it means differs by prompt.
WordStatus promptForWord(Host& host, const char* prompt, std::string& word);

// The LDAP server prompt: "localhost" when nothing was typed. Returns the
// answer, or none after printing why when the word does not fit the name
// buffer or is not a server name (server_name.h).
std::optional<std::string> promptForServer(Host& host);

// The local form of the UTF-8 name `utf8` for the prompts and messages; the
// name itself when it cannot be converted, after printing `failureText`
// (already translated).
std::string localFormOf(const std::string& utf8, const char* failureText);

#endif  // KIVCONFIG_BASE_TERMINAL_INPUT_H_
