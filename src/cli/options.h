// The options of add, rm, upgrade and simple_add, turned into run settings.
#ifndef KIVCONFIG_CLI_OPTIONS_H_
#define KIVCONFIG_CLI_OPTIONS_H_

#include "base/host.h"

// Both take main's argc and argv and hand getopt the words from the command
// word on, so getopt's diagnostics name the command. They return 0 when every
// option was taken and 1 after a failed conversion to UTF-8 or a refused
// server name (reported and logged, the log through `host`); later options
// are then not parsed. An unknown option or a missing argument prints the
// usage and ends the process with status 1, as does an option that
// simple_add does not take, so that a script tells a mistyped command line
// from a command that ran.
int parseOptions(Host& host, int argc, char** argv);
int parseSimpleAddOptions(Host& host, int argc, char** argv);

#endif  // KIVCONFIG_CLI_OPTIONS_H_
