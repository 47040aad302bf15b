// libkiv: the account services' support library.
//
// It keeps the configuration store, a plain text file ("/etc/kiv.conf" unless
// kivSetConfigFile selects another) that an administrator may read and edit:
//
//   # comment
//   key=value
//
// A key is trimmed of surrounding blanks; the value is every byte after the
// first "=" up to the line end, unchanged. When a key occurs more than once
// the last occurrence counts. Comments, blank lines and keys the library does
// not know survive a save unchanged and in place.
//
// Values are stored as the bytes given; the store keeps DN values in UTF-8
// (flags 2 marks them so). Integer keys hold decimal text and are passed as a
// 4-byte int.
//
// All functions are for one thread. They keep the file's content in memory
// from the first get until kivEndConfig, and sets until they are saved.
// Writers in several processes may save the same file at once: each save
// takes an exclusive lock (flock on "<file>.lock", beside the store) and
// applies its sets to the file as it is then, so no writer's change is lost.
//
// The store must be a regular file or missing (a symbolic link is read
// through). A directory there fails with errno EISDIR, any other kind of file
// (a FIFO, a socket, a device) with EINVAL, without being read or waited on.
#ifndef KIV_H_
#define KIV_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Flags value marking a DN value held in UTF-8.
#define KIV_FLAG_UTF8_DN 2

// Selects the store file for later gets and sets and drops what was loaded.
// Returns 0.
int kivSetConfigFile(const char* path);

// Reads `key`. Integer keys need size >= sizeof(int) and receive an int;
// text keys receive the value and a terminating NUL. Returns exactly 1 when
// the value was found and fits; 0 when it is missing, does not fit or (for an
// integer key) is not a number; -1 when the file cannot be read (errno set).
// A value that does not fit is never copied in part.
int kivGetParam(const char* key, void* buffer, int size);
int kivGetParamWithFlags(const char* key, void* buffer, int size, int flags);

// Stores `value` (a const int* for integer keys, a NUL-terminated string
// otherwise) in memory; the file is not read. Returns 1 when stored; 0 when
// the key or value cannot be kept in the file (empty or malformed key, line
// ends in the value).
int kivSetParam(const char* key, const void* value);
int kivSetParamWithFlags(const char* key, const void* value, int flags);

// Writes the store to its file. Under the lock it reads the file afresh,
// applies the sets made since the last save and writes the result to
// "<file>.tmp" (removing one left by a writer that was killed), fsync,
// rename over the file, so the old file stays whole on any failure or crash.
// An existing regular file's mode is kept, but never looser than 0600, and
// (for root) its owner; otherwise the new file is the running user's, mode
// 0600: a symbolic link is replaced, and its target never gives its owner.
// Returns 0 on success, -1 with errno set on failure; the sets stay pending.
int kivSaveConfig(int reserved);

// Releases the current file's content; unsaved sets are dropped. Returns 0.
int kivEndConfig(void);

// Convert between the locale's codeset (nl_langinfo(CODESET)) and UTF-8.
// Write at most `dstsize` bytes, NUL included. Return the number of bytes
// written without the NUL, or a negative value when `src` is invalid in its
// encoding, cannot be represented, or does not fit.
int locs2utfs(char* dst, const char* src, size_t dstsize);
int utfs2locs(char* dst, const char* src, size_t dstsize);

// Start-up and shut-down of the library's message and conversion state.
int t3v_i18n_init(void);
int t3v_i18n_exit(void);

// Splits "name=value" at its first "=" into `name` and `value` (empty when
// nothing follows the "="). Returns 0, or -1 when the word holds no "=" or a
// part does not fit its buffer (nothing is written past a buffer).
int getParameterValue(const char* word, char* name, size_t nameSize, char* value, size_t valueSize);

// Serves the parameter commands over the current store file:
//   'V' prints every parameter present as name=value lines,
//   'v' prints the named ones, 'H' explains every parameter,
//   'h' explains the named ones, 's' sets name=value words.
// The proxy password is shown masked. Mode 's' checks every word before it
// changes anything and saves once. `list` is NULL-terminated; `context` and
// `flags` are reserved. Returns 0 on success; otherwise prints why (naming
// the parameter) on standard error and returns non-zero.
int vrd_config(void* context, int mode, char** list, int flags);

#ifdef __cplusplus
}
#endif

#endif  // KIV_H_
