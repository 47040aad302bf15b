#include "directory/stored_certificate.h"

#include <fcntl.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_io.h"
#include "base/log.h"

namespace {

// A server certificate takes a few KiB; a file larger than this is no
// single certificate.
constexpr off_t kMaxCertificateBytes = 64 * 1024;

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode))
    return "a directory";
  if (S_ISFIFO(mode))
    return "a named pipe";
  if (S_ISSOCK(mode))
    return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode))
    return "a device";
  return "not a regular file";
}

// Reads `fd` to its end; 0 or the errno of the failed read.
int readAll(int fd, std::vector<unsigned char>& bytes) {
  unsigned char chunk[4096];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return errno;
    if (got == 0)
      return 0;
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > static_cast<size_t>(kMaxCertificateBytes))
      return EFBIG;
  }
}

bool holdsOneCertificate(const std::vector<unsigned char>& der) {
  const unsigned char* next = der.data();
  X509* certificate = d2i_X509(nullptr, &next, static_cast<long>(der.size()));
  if (certificate == nullptr)
    return false;
  X509_free(certificate);
  return next == der.data() + der.size();
}

// Opens the regular file that `path` leads to and reads it; kUnusable with
// `problem` set, saying what `subject` is, when that cannot be done.
StoredCertificate readRegularFile(const std::string& path, const std::string& subject,
                                  std::vector<unsigned char>& der, std::string& problem) {
  UniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.valid()) {
    problem = subject + " cannot be opened (" + englishSystemError(errno) + ")";
    return StoredCertificate::kUnusable;
  }
  // The name may have been replaced since it was looked at: the open file
  // itself decides.
  struct stat status;
  int error = fstat(file.get(), &status) != 0 ? errno : 0;
  if (error == 0 && !S_ISREG(status.st_mode)) {
    problem = subject + " is " + kindOf(status.st_mode);
    return StoredCertificate::kUnusable;
  }
  if (error == 0 && status.st_size > kMaxCertificateBytes)
    error = EFBIG;
  if (error == 0)
    error = readAll(file.get(), der);
  if (error == EFBIG) {
    problem = subject + " is too large to be a certificate";
  } else if (error != 0) {
    problem = subject + " cannot be read (" + englishSystemError(error) + ")";
  } else if (der.empty()) {
    problem = subject + " is empty";
  } else if (!holdsOneCertificate(der)) {
    problem = subject + " is not a DER certificate";
  } else {
    return StoredCertificate::kUsable;
  }
  return StoredCertificate::kUnusable;
}

}  // namespace

StoredCertificate inspectStoredCertificate(const std::string& path, std::vector<unsigned char>& der,
                                           std::string& problem) {
  der.clear();
  problem.clear();
  struct stat atName;
  if (lstat(path.c_str(), &atName) != 0) {
    if (errno == ENOENT)
      return StoredCertificate::kAbsent;
    problem = std::string("it cannot be examined (") + englishSystemError(errno) + ")";
    return StoredCertificate::kUnusable;
  }
  bool link = S_ISLNK(atName.st_mode);
  std::string subject = link ? "its link target" : "it";
  struct stat target = atName;
  if (link && stat(path.c_str(), &target) != 0) {
    problem = subject + " cannot be reached (" + englishSystemError(errno) + ")";
    return StoredCertificate::kUnusable;
  }
  // Nothing but a regular file is opened: opening a device can have effects
  // of its own.
  if (!S_ISREG(target.st_mode)) {
    problem = subject + " is " + kindOf(target.st_mode);
    return StoredCertificate::kUnusable;
  }
  return readRegularFile(path, subject, der, problem);
}
