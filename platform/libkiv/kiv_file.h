// Whole-file reads and crash-safe replacement of the store file.
//
// Both return 0 on success and -1 with errno set on failure.
#ifndef KIV_FILE_H_
#define KIV_FILE_H_

#include <string>
#include <string_view>

namespace kiv {

// Reads all of `path` into `content`. A missing file reads as empty.
int readFileIfExists(const std::string& path, std::string& content);

// Makes `path` hold exactly `content`. The bytes go to a new temporary file
// beside it (created exclusively, so nothing planted at that name is
// followed), which is synced and renamed over `path`; the directory is synced
// afterwards. A new file gets mode 0600; an existing file keeps its mode with
// the group and other bits cleared, and (for root) its owner and group. On
// failure `path` is untouched and the temporary file is gone.
int replaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace kiv

#endif  // KIV_FILE_H_
