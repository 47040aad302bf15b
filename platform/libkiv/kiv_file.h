// Whole-file reads, the writers' lock and crash-safe replacement of the store
// file.
//
// Functions returning int return 0 on success and -1 with errno set on
// failure. A store path that names a directory fails with EISDIR, one that
// names any other kind of file that is not a regular file (a FIFO, a socket,
// a device) with EINVAL; such a file is never read from nor written to.
#ifndef KIV_FILE_H_
#define KIV_FILE_H_

#include <string>
#include <string_view>

namespace kiv {

// Reads all of `path` (a symbolic link is followed) into `content`. A missing
// file reads as empty. The file is opened without blocking, so a FIFO at the
// path fails at once instead of waiting for a writer.
int readFileIfExists(const std::string& path, std::string& content);

// The exclusive lock that every writer of a store file holds from the load it
// changes to the rename of its new content: flock on "<path>.lock" beside the
// store, created with mode 0600 and never removed (a waiting writer may hold
// it open). Readers do not take it; the rename keeps each file they open
// whole.
class StoreLock {
 public:
  StoreLock() = default;
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  ~StoreLock();

  // Waits until the lock of the store at `path` is ours.
  int acquire(const std::string& path);

 private:
  int fd_ = -1;
};

// Makes `path` hold exactly `content`; the caller holds the StoreLock of
// `path`. The bytes go to "<path>.tmp", which the lock makes this writer's
// own: whatever is found at that name (left by a writer killed before its
// rename) is removed first, and the file is created exclusively, so nothing
// planted there is followed. It is synced and renamed over `path`, then the
// directory is synced. When `path` is a regular file, the new file keeps its
// mode with the group and other bits cleared and (for root) its owner and
// group; otherwise (no file, or a symbolic link, which is replaced and not
// followed) it is a 0600 file of the running user. On failure `path` is
// untouched and the temporary file is gone.
int replaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace kiv

#endif  // KIV_FILE_H_
