// get, get help and set: single parameters of the store.
#include <strings.h>

#include <cstdio>
#include <vector>

#include "base/messages.h"
#include "base/result_codes.h"
#include "base/server_name.h"
#include "commands/commands.h"
#include "config/client_config.h"
#include "host/services.h"
#include "kiv.h"

namespace {

// The name and the value of a set word each hold at most this many bytes.
constexpr size_t kParameterBufferSize = 4096;

// Every preferred-server value is checked before any word is acted on, so
// a refused name leaves the store and the daemons as they were. A word that
// cannot be split is left to the caller's loop, which reports it.
bool preferredServersValid(Host& host, char** list) {
  for (char** word = list; *word != nullptr; ++word) {
    std::vector<char> name(kParameterBufferSize);
    std::vector<char> value(kParameterBufferSize);
    if (getParameterValue(*word, name.data(), name.size(), value.data(), value.size()) != 0 ||
        value[0] == '\0' || strcasecmp(name.data(), "preferred-server") != 0) {
      continue;
    }
    if (!isValidServerName(value.data())) {
      reportInvalidServerName(host, value.data());
      return false;
    }
  }
  return true;
}

}  // namespace

int runParameterCommand(Host& host, char mode, char** list) {
  if (mode != 's')
    return host.runParameterCommand(mode, list) == 0 ? 0 : kAlreadyReported;
  if (!preferredServersValid(host, list))
    return kAlreadyReported;
  int otherWords = 0;
  for (char** word = list; *word != nullptr; ++word) {
    std::vector<char> name(kParameterBufferSize);
    std::vector<char> value(kParameterBufferSize);
    if (getParameterValue(*word, name.data(), name.size(), value.data(), value.size()) != 0) {
      printf(tr("Invalid parameter \"%.64s\": expected name=value, each at most %d bytes\n"), *word,
             static_cast<int>(kParameterBufferSize - 1));
      return kAlreadyReported;
    }
    if (value[0] == '\0') {
      printf(tr("Value missing for the parameter :%s\n"), name.data());
      return kAlreadyReported;
    }
    if (strcasecmp(name.data(), "preferred-server") == 0) {
      if (storePreferredServer(host, value.data()) != 0)
        return kAlreadyReported;
      fputs(tr("Updated the preferred server successfully\n"), stdout);
      fflush(stdout);
      restartServices(host);
    } else {
      ++otherWords;
    }
  }
  if (otherWords > 0)
    return host.runParameterCommand('s', list) == 0 ? 0 : kAlreadyReported;
  return 0;
}
