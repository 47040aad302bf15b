// Writing files so that a failure never leaves a half-written one.
#ifndef KIVCONFIG_BASE_FILE_IO_H_
#define KIVCONFIG_BASE_FILE_IO_H_

#include <cstddef>

// Writes all `length` bytes to `fd`, going on after short writes and
// interruptions. Returns 0, or the errno of the write that failed (ENOSPC
// for a write that wrote nothing).
int writeAll(int fd, const void* bytes, size_t length);

// Replaces the file at `path` with `bytes`: a temporary file beside it with
// `mode`, fsync, rename over `path`, fsync of the directory. A failure leaves
// the old file as it was and no temporary file behind; a symbolic link at
// `path` is replaced, never followed. Returns 0, kReplaceCreateFailed when
// the temporary file cannot be made or renamed into place, or
// kReplaceWriteFailed when it cannot be written whole; errno tells why.
constexpr int kReplaceCreateFailed = 1;
constexpr int kReplaceWriteFailed = 2;
int replaceFile(const char* path, const void* bytes, size_t length, unsigned mode);

#endif  // KIVCONFIG_BASE_FILE_IO_H_
