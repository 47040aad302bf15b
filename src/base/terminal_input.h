// Words typed at the terminal's prompts.
#ifndef KIVCONFIG_BASE_TERMINAL_INPUT_H_
#define KIVCONFIG_BASE_TERMINAL_INPUT_H_

#include <cstdio>
#include <string>

enum class WordStatus { kRead, kEndOfInput, kTooLong };

// Reads one whitespace-delimited word from `in`, skipping leading white space
// and empty lines, as scanf's "%s" does. A word longer than `maxLength` bytes
// is consumed whole and reported as kTooLong.
WordStatus readWord(FILE* in, std::string& word, size_t maxLength);

// The LDAP server prompt: "localhost" when nothing was typed. Stores the
// answer as the run settings' LDAP server. Returns false, after printing why,
// when the word does not fit the name buffer or is not a server name
// (server_name.h).
bool promptForServer();

#endif  // KIVCONFIG_BASE_TERMINAL_INPUT_H_
