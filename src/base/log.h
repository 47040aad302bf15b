// The program's log, "/var/lib/velmar-pelk/kiv.log", and the messages that
// go both to the terminal and to the log.
#ifndef KIVCONFIG_BASE_LOG_H_
#define KIVCONFIG_BASE_LOG_H_

#include <string>

// Appends "<ctime without newline>: <message>\n" to the log. Best effort: a
// failure goes to the system log (and standard error for a failed write) and
// never reaches the caller.
void writeLog(const std::string& message);

// Prints `format` with its arguments on standard output, translated, and
// logs the same text untranslated.
void printAndLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Unit tests keep their log lines away from the host's log.
void setLogFileForTesting(const char* path);

#endif  // KIVCONFIG_BASE_LOG_H_
