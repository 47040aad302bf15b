#include "host/local_files.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "cli/messages.h"
#include "host/paths.h"
#include "host/services.h"
#include "kiv.h"

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

void deleteCacheFiles() {
  for (const char* file : kCacheFiles)
    unlink(file);
}

void cleanupLocalFiles() {
  std::vector<char> server(4096);
  bool haveServer = kivGetParam("preferred-server", server.data(), server.size()) > 0;
  if (!haveServer)
    fputs(tr("Error in getting the preferred server\n"), stdout);
  std::vector<char> type(32);
  if (kivGetParam("certificate-file-type", type.data(), type.size()) <= 0) {
    fputs(tr("Error reading the certificate file type\n"), stdout);
  }
  // Without a server there is no certificate file name to remove.
  std::optional<std::string> certificateFile;
  if (haveServer)
    certificateFile = certificateFilePath(server.data());
  if (certificateFile)
    unlink(certificateFile->c_str());
  deleteCacheFiles();
  unlink(kUtilityInputFile);
  if (unlink(kConfigFile) != 0)
    fputs(tr("Error in deleting the certificate file."), stdout);
  fflush(stdout);
}

int refreshCache() {
  if (isServiceRunning("kivcd", "/usr/sbin/kivcd") != 0) {
    deleteCacheFiles();
    return 0;
  }
  if (stopServiceWithReport("kivcd") != 0) {
    deleteCacheFiles();
    return 0;
  }
  deleteCacheFiles();
  startService("kivcd");
  return 0;
}
