// The add driver: joins the host to the directory.
#ifndef KIVCONFIG_DIRECTORY_ADD_H_
#define KIVCONFIG_DIRECTORY_ADD_H_

#include "base/run_settings.h"

// Returns 0 when the host is configured, or
// the result code of the first stage that failed.
int runAdd(JoinMode mode);

#endif  // KIVCONFIG_DIRECTORY_ADD_H_
