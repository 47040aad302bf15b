// Writing files so that a failure never leaves a half-written one.
#ifndef KIVCONFIG_BASE_FILE_IO_H_
#define KIVCONFIG_BASE_FILE_IO_H_

#include <unistd.h>

#include <cerrno>
#include <cstddef>

// Owns an open file descriptor and closes it when it goes; -1 owns nothing.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0)
      close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports close's own failure: 0 or errno.
  int closeNow() {
    int fd = fd_;
    fd_ = -1;
    return fd >= 0 && close(fd) != 0 ? errno : 0;
  }

 private:
  int fd_;
};

// Writes all `length` bytes to `fd`, going on after short writes and
// interruptions. Returns 0, or the errno of the write that failed (ENOSPC
// for a write that wrote nothing).
int writeAll(int fd, const void* bytes, size_t length);

// Replaces the file at `path` with `bytes`: the temporary file "<path>.tmp"
// with `mode`, fsync, rename over `path`, fsync of the directory. Writers of
// one directory take turns (an exclusive flock on the directory itself), so
// the temporary name is the current writer's own: whatever is found there,
// left by a writer killed before its rename, is removed first, and the file
// is created exclusively, never through a planted link. A failure or a crash
// leaves the old file as it was; a failure leaves no temporary file behind,
// and a crash leaves at most that one name until the next write. A symbolic
// link at `path` is replaced, never followed. Returns 0,
// kReplaceCreateFailed when the directory cannot be locked or the temporary
// file cannot be made or renamed into place, or kReplaceWriteFailed when it
// cannot be written whole; errno tells why.
constexpr int kReplaceCreateFailed = 1;
constexpr int kReplaceWriteFailed = 2;
int replaceFile(const char* path, const void* bytes, size_t length, unsigned mode);

#endif  // KIVCONFIG_BASE_FILE_IO_H_
