#include "base/file_io.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// An open directory: flock on it serialises the writers of its files, and
// fsync of it makes a rename inside it durable.
class OpenDirectory {
 public:
  explicit OpenDirectory(const char* path)
      : fd_(openParent(path)), openError_(fd_.valid() ? 0 : errno) {}
  // Waits until this process is the directory's only writer; 0 or errno.
  int lock() {
    if (!fd_.valid())
      return openError_;
    while (flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR)
        return errno;
    }
    return 0;
  }
  // The rename is done whatever the sync says; a failed sync only means that
  // a crash may undo it, which leaves the old file whole.
  void sync() { (void)fsync(fd_.get()); }

 private:
  static int openParent(const char* path) {
    std::string copy(path);
    return open(dirname(copy.data()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  UniqueFd fd_;
  int openError_;
};

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
  OpenDirectory directory(path);
  int error = directory.lock();
  std::string temporary = std::string(path) + ".tmp";
  if (error == 0 && unlink(temporary.c_str()) != 0 && errno != ENOENT)
    error = errno;
  UniqueFd file(error == 0 ? open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                           : -1);
  if (error == 0 && !file.valid())
    error = errno;
  if (error != 0) {
    errno = error;
    return kReplaceCreateFailed;
  }
  error = fchmod(file.get(), mode) != 0 ? errno : writeAll(file.get(), bytes, length);
  if (error == 0 && fsync(file.get()) != 0)
    error = errno;
  int closeError = file.closeNow();
  if (error == 0)
    error = closeError;
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
  directory.sync();
  return 0;
}
