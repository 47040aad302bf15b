// The messages that go both to the terminal and to the program's log. The
// log keeps the English text; the terminal shows it translated.
#ifndef KIVCONFIG_BASE_LOG_H_
#define KIVCONFIG_BASE_LOG_H_

#include <string>
#include <string_view>

#include "base/host.h"

// Prints `format` with its arguments on standard output, translated, and
// logs the same text untranslated.
void printAndLog(Host& host, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Like printAndLog for `format` with two conversions: `subject` and the
// text of system error `error`, shown in the user's language on the
// terminal and in English in the log.
void printAndLogSystemError(Host& host, const char* format, const char* subject, int error);

// Prints `text` translated and logs it without its line end.
void printAndLogLine(Host& host, const char* text);

// `text` with every byte outside printable ASCII, and the quote and the
// backslash, written as \xNN: a name from outside shown in a message.
std::string printableText(std::string_view text);

// `text` with its control bytes written as \xNN, so that text from outside
// the program (the server, the host name, the store) cannot forge or break a
// log line; with `keepLineEnds`, line ends pass as they are.
std::string withoutControlBytes(std::string_view text, bool keepLineEnds = false);

// The English text of system error `error`, whatever the locale.
std::string englishSystemError(int error);

#endif  // KIVCONFIG_BASE_LOG_H_
