// The upgrade command: moves a host from the older client's configuration
// ("/etc/vrd.conf") to the store. Takes the partition root and the server
// from the old file, joins the host in upgrade mode (its Workstation object
// is found and reused), copies the old cache tuning values into the store,
// restarts kivcd when any was copied, and removes the old client's cache
// files.
#ifndef KIVCONFIG_DIRECTORY_UPGRADE_H_
#define KIVCONFIG_DIRECTORY_UPGRADE_H_

// Returns 0, or the result code of the step that failed; the old cache files
// stay unless the upgrade succeeded.
int upgradeFromOldConfig();

#endif  // KIVCONFIG_DIRECTORY_UPGRADE_H_
