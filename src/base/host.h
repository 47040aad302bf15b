// What the commands ask of the machine they run on, behind one small
// interface: the configuration store, the init scripts and their daemons,
// local files, the host name, the terminal's prompts, the pause and the log.
//
// SystemHost (system_host.h) is the real machine; unit tests hand the code
// under test a RecordingHost (host_test_support.h), which records every call
// and answers from what the test set up. Printed lines are not part of it:
// the program prints on standard output and standard error directly.
#ifndef KIVCONFIG_BASE_HOST_H_
#define KIVCONFIG_BASE_HOST_H_

#include <cstddef>
#include <optional>
#include <string>

enum class WordStatus { kRead, kEndOfInput, kTooLong };

// Text values of the store hold at most this many bytes, NUL included: what
// the program stores must always be readable back, so the writers refuse
// longer values.
constexpr size_t kStoreValueSize = 4096;

// The daemons the program controls.
enum class Daemon { kKivcd, kNscd };

// The daemon's name, which its init script and program also carry.
inline const char* daemonName(Daemon daemon) {
  return daemon == Daemon::kKivcd ? "kivcd" : "nscd";
}

class Host {
 public:
  virtual ~Host() = default;

  // The configuration store of the support library. selectStore chooses the
  // file later calls read and write ("/etc/kiv.conf" until told otherwise)
  // and drops what was loaded. A value counts as present only when it is
  // there whole: readStoreText's values are shorter than kStoreValueSize.
  // `utf8Dn` marks DN values, which the store keeps in UTF-8.
  virtual void selectStore(const char* path) = 0;
  virtual std::optional<std::string> readStoreText(const char* key, bool utf8Dn) = 0;
  virtual std::optional<int> readStoreInteger(const char* key) = 0;
  // Keeps a value in memory until saveStore; false when the store cannot
  // keep it (a malformed key, a line end in the value).
  virtual bool setStoreText(const char* key, const std::string& value, bool utf8Dn) = 0;
  virtual bool setStoreInteger(const char* key, int value) = 0;
  // Writes the values set since the last save into the file, under the
  // store's lock. Returns 0 or the errno of the failure (EINVAL for a path
  // that is neither a regular file nor a directory); the file then stays as
  // it was.
  virtual int saveStore() = 0;
  // Drops the loaded content and unsaved values.
  virtual void endStore() = 0;
  // The support library's get, get help and set over the current store
  // (mode 'V', 'v', 'H', 'h' or 's', a NULL-terminated word list); it prints
  // its own output. 0 on success.
  virtual int runParameterCommand(char mode, char** words) = 0;

  // Runs "/etc/init.d/<daemon> <action>"; its exit status, 0 on success.
  virtual int runInitScript(Daemon daemon, const char* action) = 0;
  // Whether one of the daemon's process-id files exists.
  virtual bool isDaemonRunning(Daemon daemon) = 0;
  // Whether the daemon's program is installed (executable).
  virtual bool isDaemonInstalled(Daemon daemon) = 0;

  // Removes `path`; 0, or the errno of the failure (ENOENT when nothing was
  // there).
  virtual int removeFile(const char* path) = 0;

  // The path of the program's installed data file `name` (the schema
  // files).
  virtual std::string dataFile(const char* name) = 0;

  // The system's host name; 0, or the errno of the failure.
  virtual int hostName(std::string& name) = 0;

  // Reads one blank-delimited word from the terminal (standard input),
  // skipping white space and empty lines; a word longer than `maxLength`
  // bytes is consumed whole and reported as kTooLong.
  virtual WordStatus readWord(std::string& word, size_t maxLength) = 0;
  // Shows `prompt` and reads a password without echo; false when none can
  // be read.
  virtual bool readPassword(const std::string& prompt, std::string& password) = 0;
  // The value of environment variable `name`, or none.
  virtual std::optional<std::string> environmentValue(const char* name) = 0;

  virtual void pause(unsigned seconds) = 0;

  // Appends "<local time>: <message>" to the program's log; best effort.
  virtual void log(const std::string& message) = 0;
};

#endif  // KIVCONFIG_BASE_HOST_H_
