#include "host/services.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/messages.h"

namespace {

struct Daemon {
  const char* name;
  const char* program;
  const char* pidFiles[2];
};

constexpr Daemon kDaemons[] = {
    {"kivcd", "/usr/sbin/kivcd", {"/var/run/velmar-pelk/kivcd.pid", nullptr}},
    {"nscd", "/usr/sbin/nscd", {"/var/run/nscd/nscd.pid", "/var/run/nscd.pid"}},
};

constexpr const char* kKivcd = "kivcd";
constexpr const char* kKivcdProgram = "/usr/sbin/kivcd";
constexpr const char* kNscd = "nscd";
constexpr const char* kNscdProgram = "/usr/sbin/nscd";

bool isNscdInstalled() {
  return access(kNscdProgram, R_OK | X_OK) == 0;
}

bool isRunning(const char* name, const char* program) {
  return isServiceRunning(name, program) == 0;
}

// Daemon names come from the table above only, so the command line needs no
// quoting.
int runInitScript(const char* name, const char* action) {
  std::string command = std::string("/etc/init.d/") + name + " " + action + " > /dev/null 2>&1";
  fflush(stdout);
  fflush(stderr);
  return system(command.c_str());
}

// An init-script action and what is said around it on standard error.
struct ServiceAction {
  const char* action;
  const char* announcement;
  const char* success;
  const char* failure;
};

int runServiceAction(const char* name, const ServiceAction& action) {
  // What the command said on standard output comes first, also through a pipe.
  fflush(stdout);
  fprintf(stderr, tr(action.announcement), name);
  if (runInitScript(name, action.action) == 0) {
    fputs(tr(action.success), stderr);
    return 0;
  }
  fprintf(stderr, tr(action.failure), name);
  return 1;
}

}  // namespace

int isServiceRunning(const char* name, const char* program) {
  for (const Daemon& daemon : kDaemons) {
    if (strcmp(daemon.name, name) != 0 || strcmp(daemon.program, program) != 0)
      continue;
    for (const char* pidFile : daemon.pidFiles) {
      if (pidFile != nullptr && access(pidFile, F_OK) == 0)
        return 0;
    }
    return 1;
  }
  return 1;
}

int startService(const char* name) {
  return runServiceAction(
      name, {"start", translatable("Starting the service '%s'... "), translatable("Done.\n"),
             translatable("Error: Cannot start '%s', start manually.\n")});
}

int stopService(const char* name) {
  return runServiceAction(
      name, {"stop", translatable("Stopping the service '%s'..."), translatable("done.\n"),
             translatable("Error: Cannot stop '%s', stop manually.\n")});
}

int stopServiceWithReport(const char* name) {
  int result = stopService(name);
  if (result == 1) {
    printf(tr("Could not stop %s daemon\n"), name);
    fflush(stdout);
  }
  return result;
}

int restartServices() {
  if (isRunning(kKivcd, kKivcdProgram))
    stopServiceWithReport(kKivcd);
  if (isNscdInstalled() && isRunning(kNscd, kNscdProgram)) {
    if (stopServiceWithReport(kNscd) != 0) {
      startService(kKivcd);
      return 0;
    }
    startService(kKivcd);
    if (isNscdInstalled() && !isRunning(kNscd, kNscdProgram))
      startService(kNscd);
    return 0;
  }
  startService(kKivcd);
  return 0;
}

int stopServicesForRemoval() {
  if (isRunning(kKivcd, kKivcdProgram))
    stopServiceWithReport(kKivcd);
  if (!isNscdInstalled() || !isRunning(kNscd, kNscdProgram))
    return 0;
  if (stopServiceWithReport(kNscd) != 0)
    return 0;
  if (isNscdInstalled() && !isRunning(kNscd, kNscdProgram))
    startService(kNscd);
  return 0;
}
