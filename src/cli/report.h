// Result codes, their messages, the log and the usage text.
//
// A result code is 0 for success, kAlreadyReported when the failing step has
// printed its own message, one of the program's codes below, or an LDAP
// result code passed up unchanged. Only the front end turns codes into
// messages.
#ifndef KIVCONFIG_CLI_REPORT_H_
#define KIVCONFIG_CLI_REPORT_H_

#include <string>

constexpr int kAlreadyReported = -5999;
constexpr int kNotConfigured = -6004;
constexpr int kCannotContactServer = -6009;
constexpr int kNoWorkstationContext = -6015;
constexpr int kNotAContainer = -6016;
constexpr int kCannotReadSchema = -6017;
constexpr int kSchemaFileMissing = -6018;
constexpr int kUniqueIdSchemaFileMissing = -6019;
constexpr int kOutOfMemory = -6020;
constexpr int kUnknownContainer = -6021;
constexpr int kCertificateFileOpen = -6022;
constexpr int kCertificateFileWrite = -6023;
constexpr int kNoSslPort = -6024;
constexpr int kSchemaUpdateFailed = -6025;
constexpr int kNoOldBaseName = -6026;
constexpr int kNoConfigObjectCorvex = -6027;
constexpr int kUpgradeNoWorkstationContext = -6028;
constexpr int kUpgradeNoWorkstationObject = -6029;

// Prints the terminal message of `code` for the command of the run settings,
// logs its log text, ends the library's message state and returns `code`,
// which the entry point returns as the exit status.
int reportResult(int code);

// Appends "<ctime without newline>: <message>\n" to the log. Best effort: a
// failure goes to the system log (and standard error for a failed write) and
// never reaches the caller.
void writeLog(const std::string& message);

// Prints `format` with its arguments on standard output, translated, and
// logs the same text untranslated.
void printAndLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Unit tests keep their log lines away from the host's log.
void setLogFileForTesting(const char* path);

// Prints the usage text on standard error and ends the process with `status`.
[[noreturn]] void printUsage(int status);

#endif  // KIVCONFIG_CLI_REPORT_H_
