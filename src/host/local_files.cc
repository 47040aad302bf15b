#include "host/local_files.h"

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <vector>

#include "base/log.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/result_codes.h"

namespace {

constexpr const char* kCacheFiles[] = {
    "/var/lib/velmar-pelk/.refresh_info",   "/var/lib/velmar-pelk/.user_info.dir",
    "/var/lib/velmar-pelk/.user_info.pag",  "/var/lib/velmar-pelk/.group_info.dir",
    "/var/lib/velmar-pelk/.group_info.pag",
};

// Only the DER form is ever written, whatever the store says.
constexpr const char* kCertificateType = "der";

}  // namespace

std::optional<std::string> certificateFilePath(const std::string& server) {
  if (server.empty() || server.find('/') != std::string::npos)
    return std::nullopt;
  return std::string(kStateDir) + "/." + server + "." + kCertificateType;
}

void deleteCacheFiles(Host& host) {
  for (const char* file : kCacheFiles)
    host.removeFile(file);
}

int cleanupLocalFiles(Host& host) {
  std::optional<std::string> server = host.readStoreText("preferred-server", false);
  if (!server)
    fputs(tr("Error in getting the preferred server\n"), stdout);
  if (!host.readStoreText("certificate-file-type", false)) {
    fputs(tr("Error reading the certificate file type\n"), stdout);
  }
  std::vector<std::string> files;
  // Without a server there is no certificate file name to remove. A writer
  // killed while storing it may have left its temporary file.
  std::optional<std::string> certificateFile;
  if (server)
    certificateFile = certificateFilePath(*server);
  if (certificateFile) {
    files.push_back(*certificateFile);
    files.push_back(*certificateFile + ".tmp");
  }
  files.insert(files.end(), std::begin(kCacheFiles), std::end(kCacheFiles));
  files.push_back(kUtilityInputFile);
  files.push_back(kConfigFile);
  // Everything is tried; a file that stays (the store holds the proxy
  // password) is named, and the command must not report success.
  bool allGone = true;
  for (const std::string& file : files) {
    int error = host.removeFile(file.c_str());
    if (error != 0 && error != ENOENT) {
      printAndLogSystemError(host, "Unable to remove %s: %s\n", file.c_str(), error);
      allGone = false;
    }
  }
  fflush(stdout);
  return allGone ? 0 : kAlreadyReported;
}
