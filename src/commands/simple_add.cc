// simple_add: the store and the daemons, without any directory work.
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/terminal_input.h"
#include "commands/commands.h"
#include "commands/join.h"
#include "config/client_config.h"
#include "host/services.h"

int runSimpleAdd(Host& host) {
  if (checkProxyPassword() != 0)
    return kAlreadyReported;
  if (!runSettings.ldapServer) {
    runSettings.ldapServer = promptForServer(host);
    if (!runSettings.ldapServer)
      return kAlreadyReported;
  }
  if (writeSimpleClientConfig(host) != 0)
    return kAlreadyReported;
  return restartServices(host);
}
