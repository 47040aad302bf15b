// The upgrade command: moves a host from the older client's configuration.
#ifndef KIVCONFIG_DIRECTORY_UPGRADE_H_
#define KIVCONFIG_DIRECTORY_UPGRADE_H_

// Returns 0, or the result code of the step that failed.
int upgradeFromOldConfig();

#endif  // KIVCONFIG_DIRECTORY_UPGRADE_H_
