// The simple_add command.
#ifndef KIVCONFIG_CLI_SIMPLE_ADD_H_
#define KIVCONFIG_CLI_SIMPLE_ADD_H_

// Writes the client configuration without any directory work and restarts
// the daemons. Returns 0, or kAlreadyReported when the store could not be
// written (the daemons are then left alone).
int runSimpleAdd();

#endif  // KIVCONFIG_CLI_SIMPLE_ADD_H_
