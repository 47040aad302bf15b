// get, get help and set: single parameters of the configuration store.
#ifndef KIVCONFIG_CLI_PARAMETERS_H_
#define KIVCONFIG_CLI_PARAMETERS_H_

// Fills the value-list mode and the value list of the run settings from the
// words after "get" or "set". The list points into argv. Unacceptable words
// print the usage and end the process.
int parseValueList(int argc, char** argv);

// Carries out the request of `mode` on the NULL-terminated `list`. A
// preferred-server word is stored here and restarts the daemons; everything
// else goes to the library's vrd_config. A preferred-server value that is not
// a server name (server_name.h) stops the command before any word is acted
// on. Returns 0 on success, non-zero after the failure was reported.
int runParameterCommand(void* context, char mode, char** list, int flags);

#endif  // KIVCONFIG_CLI_PARAMETERS_H_
