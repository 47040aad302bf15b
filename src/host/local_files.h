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
// certificate file, the cache files, the utility input file and the store.
void cleanupLocalFiles(Host& host);

#endif  // KIVCONFIG_HOST_LOCAL_FILES_H_
