// Command recognition and dispatch: one command word, one driver, one result.
#ifndef KIVCONFIG_CLI_DISPATCH_H_
#define KIVCONFIG_CLI_DISPATCH_H_

#include "base/host.h"

// Recognises the command word and fills the command fields of the run
// settings. Returns 0 when the command line is acceptable; otherwise prints
// the usage and ends the process (status 0 for the help words, 1 otherwise).
int classifyCommand(int argc, char** argv);

// The whole of a run after start-up on `host`: classify, parse, prompt, run
// the command and report. Returns the exit status.
int runCommandLine(Host& host, int argc, char** argv);

#endif  // KIVCONFIG_CLI_DISPATCH_H_
