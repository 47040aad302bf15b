// The add driver: joins the host to the directory.
#ifndef KIVCONFIG_DIRECTORY_ADD_H_
#define KIVCONFIG_DIRECTORY_ADD_H_

// Mode 0 for add, 1 for upgrade. Returns 0 when the host is configured, or
// the result code of the first stage that failed.
int runAdd(int mode);

#endif  // KIVCONFIG_DIRECTORY_ADD_H_
