// The program's waits: the bind retry and the pause after a schema change.
#ifndef KIVCONFIG_BASE_PAUSE_H_
#define KIVCONFIG_BASE_PAUSE_H_

// Sleeps `seconds`. Unit tests replace the sleeper to run without waiting.
void pauseSeconds(unsigned seconds);

using Sleeper = void (*)(unsigned seconds);
void setSleeperForTesting(Sleeper sleeper);

#endif  // KIVCONFIG_BASE_PAUSE_H_
