// get, get help and set: single parameters of the configuration store.
#ifndef KIVCONFIG_CLI_PARAMETERS_H_
#define KIVCONFIG_CLI_PARAMETERS_H_

// Fills the value-list mode and the value list of the run settings from the
// words after "get" or "set". The list points into argv. Unacceptable words
// print the usage and end the process.
int parseValueList(int argc, char** argv);

#endif  // KIVCONFIG_CLI_PARAMETERS_H_
