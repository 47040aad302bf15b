// The messages of result codes and the usage text.
#ifndef KIVCONFIG_CLI_REPORT_H_
#define KIVCONFIG_CLI_REPORT_H_

#include <string>

#include "base/host.h"
#include "base/result_codes.h"

// Prints the terminal message of `code` for the command of the run settings,
// logs its log text through `host`, ends the library's message state and returns `code`,
// which the entry point returns as the exit status. On success the driver's
// `successDetails` (already translated) follow the success message.
int reportResult(Host& host, int code, const std::string& successDetails = "");

// Prints the usage text and ends the process with `status`: on standard
// output for 0 (the help words), on standard error for a refused command line.
[[noreturn]] void printUsage(int status);

// Prints "kivconfig VERSION" on standard output and ends the process with 0.
[[noreturn]] void printVersion();

#endif  // KIVCONFIG_CLI_REPORT_H_
