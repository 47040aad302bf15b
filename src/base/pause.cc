#include "base/pause.h"

#include <unistd.h>

namespace {

void sleepFully(unsigned seconds) {
  while (seconds > 0)
    seconds = sleep(seconds);
}

Sleeper sleeper = sleepFully;

}  // namespace

void pauseSeconds(unsigned seconds) {
  sleeper(seconds);
}

void setSleeperForTesting(Sleeper replacement) {
  sleeper = replacement;
}
