#include "kiv_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiv {
namespace {

// Closes a descriptor on every path out of a scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  int get() const { return fd_; }
  // Closes now, so that a failing close is seen; returns close's result.
  int closeNow() {
    int result = close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

int writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t written = write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return -1;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Gives the temporary file the old file's mode (no looser than 0600) and, for
// root, its owner. Only a regular file passes these on: a link's target may
// belong to anyone, and the store must never take its owner.
int copyOwnership(int fd, const std::string& path) {
  struct stat old;
  if (lstat(path.c_str(), &old) != 0) {
    return errno == ENOENT ? 0 : -1;
  }
  if (!S_ISREG(old.st_mode)) {
    return 0;
  }
  if (fchmod(fd, old.st_mode & 0600) != 0) {
    return -1;
  }
  if (geteuid() == 0 && fchown(fd, old.st_uid, old.st_gid) != 0) {
    return -1;
  }
  return 0;
}

int syncDirectory(const std::string& directory) {
  FileDescriptor fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || fsync(fd.get()) != 0) {
    return -1;
  }
  return 0;
}

}  // namespace

int readFileIfExists(const std::string& path, std::string& content) {
  content.clear();
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    return errno == ENOENT ? 0 : -1;
  }
  struct stat info;
  if (fstat(fd.get(), &info) != 0) {
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  char chunk[8192];
  for (;;) {
    ssize_t got = read(fd.get(), chunk, sizeof chunk);
    if (got == 0) {
      return 0;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      content.clear();
      return -1;
    }
    content.append(chunk, static_cast<size_t>(got));
  }
}

StoreLock::~StoreLock() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

int StoreLock::acquire(const std::string& path) {
  const std::string lockPath = path + ".lock";
  // Read-only is enough for flock; O_NOFOLLOW refuses a link planted at the
  // name and O_NONBLOCK a FIFO's wait for a writer.
  fd_ = open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    return -1;
  }
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return 0;
}

int replaceFileAtomically(const std::string& path, std::string_view content) {
  const std::string temporary = path + ".tmp";
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    return -1;
  }
  FileDescriptor fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.get() < 0) {
    return -1;
  }
  // The umask may have narrowed the mode; 0600 is what a new store gets.
  if (fchmod(fd.get(), 0600) != 0 || copyOwnership(fd.get(), path) != 0 ||
      writeAll(fd.get(), content) != 0 || fsync(fd.get()) != 0 || fd.closeNow() != 0 ||
      rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    return -1;
  }
  // The new content is in place whatever the directory sync says; failing now
  // would tell the caller the old file was kept when it was not. A failed sync
  // only means the rename may be lost in a crash, leaving the old file whole.
  (void)syncDirectory(directoryOf(path));
  return 0;
}

}  // namespace kiv
