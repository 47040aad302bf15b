#include "cli/simple_add.h"

#include "base/result_codes.h"
#include "config/client_config.h"
#include "host/services.h"

int runSimpleAdd() {
  if (writeSimpleClientConfig() != 0)
    return kAlreadyReported;
  return restartServices();
}
