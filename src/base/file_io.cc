#include "base/file_io.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// The rename is durable only once the directory holding the name is synced.
void syncDirectoryOf(const char* path) {
  std::string copy(path);
  int fd = open(dirname(copy.data()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

}  // namespace

int writeAll(int fd, const void* bytes, size_t length) {
  const char* next = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = write(fd, next, length);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return errno;
    if (n == 0)
      return ENOSPC;
    next += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

int replaceFile(const char* path, const void* bytes, size_t length, unsigned mode) {
  std::string temporary = std::string(path) + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0)
    return kReplaceCreateFailed;
  int error = fchmod(fd, mode) != 0 ? errno : writeAll(fd, bytes, length);
  if (error == 0 && fsync(fd) != 0)
    error = errno;
  if (close(fd) != 0 && error == 0)
    error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    errno = error;
    return kReplaceWriteFailed;
  }
  if (rename(temporary.c_str(), path) != 0) {
    error = errno;
    unlink(temporary.c_str());
    errno = error;
    return kReplaceCreateFailed;
  }
  syncDirectoryOf(path);
  return 0;
}
