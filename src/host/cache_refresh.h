// The cache_refresh command.
#ifndef KIVCONFIG_HOST_CACHE_REFRESH_H_
#define KIVCONFIG_HOST_CACHE_REFRESH_H_

// Empties kivcd's cache with kivcd stopped, and starts kivcd again when it
// was running. Returns 0.
int refreshCache();

#endif  // KIVCONFIG_HOST_CACHE_REFRESH_H_
