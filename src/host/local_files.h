// The files the program and kivcd keep on the host beside the store.
#ifndef KIVCONFIG_HOST_LOCAL_FILES_H_
#define KIVCONFIG_HOST_LOCAL_FILES_H_

#include <optional>
#include <string>

#include "base/host.h"

// The certificate file of `server`: "/var/lib/velmar-pelk/.<server>.der".
// None for a name that is empty or holds a "/", which would place the file
// elsewhere.
std::optional<std::string> certificateFilePath(const std::string& server);

// Removes kivcd's cache files; missing ones are passed over silently.
void deleteCacheFiles(Host& host);

// Removes everything the program left on the host: the stored server's
// certificate file (and a temporary one a killed writer left), the cache
// files, the utility input file and the store. Every removal is tried; one
// that fails for another reason than a missing file is printed and logged,
// naming the file. Returns 0, or -5999 when a file could not be removed.
int cleanupLocalFiles(Host& host);

#endif  // KIVCONFIG_HOST_LOCAL_FILES_H_
