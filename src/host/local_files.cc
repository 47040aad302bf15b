#include "host/local_files.h"

#include <cstdio>

#include "base/messages.h"
#include "base/paths.h"

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

void cleanupLocalFiles(Host& host) {
  std::optional<std::string> server = host.readStoreText("preferred-server", false);
  if (!server)
    fputs(tr("Error in getting the preferred server\n"), stdout);
  if (!host.readStoreText("certificate-file-type", false)) {
    fputs(tr("Error reading the certificate file type\n"), stdout);
  }
  // Without a server there is no certificate file name to remove.
  std::optional<std::string> certificateFile;
  if (server)
    certificateFile = certificateFilePath(*server);
  if (certificateFile)
    host.removeFile(certificateFile->c_str());
  deleteCacheFiles(host);
  host.removeFile(kUtilityInputFile);
  if (host.removeFile(kConfigFile) != 0)
    fputs(tr("Error in deleting the certificate file."), stdout);
  fflush(stdout);
}
