// The rm command: takes the host out of the directory.
#ifndef KIVCONFIG_DIRECTORY_REMOVE_H_
#define KIVCONFIG_DIRECTORY_REMOVE_H_

// Returns 0, or the result code of the step that failed.
int deconfigure();

#endif  // KIVCONFIG_DIRECTORY_REMOVE_H_
