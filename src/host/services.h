// Starting and stopping kivcd and nscd through their init scripts.
//
// A daemon counts as running while one of its process-id files exists, so a
// file left behind by a crashed daemon counts too; the init script's stop
// deals with it. Every sequence reports its problems on the terminal and
// returns 0: a daemon that does not come up is for the administrator to start.
#ifndef KIVCONFIG_HOST_SERVICES_H_
#define KIVCONFIG_HOST_SERVICES_H_

// 0 when the daemon `name` with program `program` runs; non-zero otherwise,
// also for a pair that is not in the daemon table.
int isServiceRunning(const char* name, const char* program);

// Run "/etc/init.d/<name> start|stop" through the shell. 0 on a zero exit
// status, 1 otherwise.
int startService(const char* name);
int stopService(const char* name);

// After a configuration: stop kivcd and nscd, then start them again.
int restartServices();

// For removal: stop kivcd for good; restart nscd so it forgets the directory.
int stopServicesForRemoval();

// Stops `name` and says so when that failed. Returns stopService's result.
int stopServiceWithReport(const char* name);

#endif  // KIVCONFIG_HOST_SERVICES_H_
