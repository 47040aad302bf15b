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

// Like printAndLog for `format` with two conversions: `subject` and the
// text of system error `error`, shown in the user's language on the
// terminal and in English in the log.
void printAndLogSystemError(const char* format, const char* subject, int error);

// The English text of system error `error`, whatever the locale.
std::string englishSystemError(int error);

// Unit tests keep their log lines away from the host's log.
void setLogFileForTesting(const char* path);

#endif  // KIVCONFIG_BASE_LOG_H_
