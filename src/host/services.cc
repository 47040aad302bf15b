#include "host/services.h"

#include <cstdio>

#include "base/messages.h"

namespace {

// An init-script action and what is said around it on standard error.
struct ServiceAction {
  const char* action;
  const char* announcement;
  const char* success;
  const char* failure;
};

int runServiceAction(Host& host, Daemon daemon, const ServiceAction& action) {
  // What the command said on standard output comes first, also through a pipe.
  fflush(stdout);
  fprintf(stderr, tr(action.announcement), daemonName(daemon));
  fflush(stderr);
  if (host.runInitScript(daemon, action.action) == 0) {
    fputs(tr(action.success), stderr);
    return 0;
  }
  fprintf(stderr, tr(action.failure), daemonName(daemon));
  return 1;
}

bool isNscdRunning(Host& host) {
  return host.isDaemonInstalled(Daemon::kNscd) && host.isDaemonRunning(Daemon::kNscd);
}

}  // namespace

int startService(Host& host, Daemon daemon) {
  return runServiceAction(
      host, daemon,
      {"start", translatable("Starting the service '%s'... "), translatable("Done.\n"),
       translatable("Error: Cannot start '%s', start manually.\n")});
}

int stopService(Host& host, Daemon daemon) {
  return runServiceAction(
      host, daemon,
      {"stop", translatable("Stopping the service '%s'..."), translatable("done.\n"),
       translatable("Error: Cannot stop '%s', stop manually.\n")});
}

int stopServiceWithReport(Host& host, Daemon daemon) {
  int result = stopService(host, daemon);
  if (result == 1) {
    printf(tr("Could not stop %s daemon\n"), daemonName(daemon));
    fflush(stdout);
  }
  return result;
}

int restartServices(Host& host) {
  if (host.isDaemonRunning(Daemon::kKivcd))
    stopServiceWithReport(host, Daemon::kKivcd);
  if (!isNscdRunning(host)) {
    startService(host, Daemon::kKivcd);
    return 0;
  }
  bool nscdStopped = stopServiceWithReport(host, Daemon::kNscd) == 0;
  startService(host, Daemon::kKivcd);
  if (nscdStopped && host.isDaemonInstalled(Daemon::kNscd) && !host.isDaemonRunning(Daemon::kNscd))
    startService(host, Daemon::kNscd);
  return 0;
}

int stopServicesForRemoval(Host& host) {
  if (host.isDaemonRunning(Daemon::kKivcd))
    stopServiceWithReport(host, Daemon::kKivcd);
  if (!isNscdRunning(host))
    return 0;
  if (stopServiceWithReport(host, Daemon::kNscd) != 0)
    return 0;
  if (host.isDaemonInstalled(Daemon::kNscd) && !host.isDaemonRunning(Daemon::kNscd))
    startService(host, Daemon::kNscd);
  return 0;
}
