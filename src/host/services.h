// Starting and stopping kivcd and nscd through their init scripts.
//
// A daemon counts as running while one of its process-id files exists, so a
// file left behind by a crashed daemon counts too; the init script's stop
// deals with it. Every sequence reports its problems on the terminal and
// returns 0: a daemon that does not come up is for the administrator to start.
#ifndef KIVCONFIG_HOST_SERVICES_H_
#define KIVCONFIG_HOST_SERVICES_H_

#include "base/host.h"

// Run the daemon's init script with start or stop, announcing it and its
// outcome on standard error. 0 on a zero exit status, 1 otherwise.
int startService(Host& host, Daemon daemon);
int stopService(Host& host, Daemon daemon);

// Stops `daemon` and says so on standard output when that failed. Returns
// stopService's result.
int stopServiceWithReport(Host& host, Daemon daemon);

// After a configuration: stop kivcd and nscd, then start them again.
int restartServices(Host& host);

// For removal: stop kivcd for good; restart nscd so it forgets the directory.
int stopServicesForRemoval(Host& host);

#endif  // KIVCONFIG_HOST_SERVICES_H_
