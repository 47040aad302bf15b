// The real machine behind the Host interface: the support library's store,
// the init scripts under /etc/init.d, the terminal, the clock and the log
// file "/var/lib/velmar-pelk/kiv.log".
#ifndef KIVCONFIG_BASE_SYSTEM_HOST_H_
#define KIVCONFIG_BASE_SYSTEM_HOST_H_

#include "base/host.h"

class SystemHost : public Host {
 public:
  void selectStore(const char* path) override;
  std::optional<std::string> readStoreText(const char* key, bool utf8Dn) override;
  std::optional<int> readStoreInteger(const char* key) override;
  bool setStoreText(const char* key, const std::string& value, bool utf8Dn) override;
  bool setStoreInteger(const char* key, int value) override;
  int saveStore() override;
  void endStore() override;
  int runParameterCommand(char mode, char** words) override;

  // The init script runs with standard output and error discarded and
  // without the password variables in its environment, so a daemon it
  // starts never holds a secret.
  int runInitScript(Daemon daemon, const char* action) override;
  bool isDaemonRunning(Daemon daemon) override;
  bool isDaemonInstalled(Daemon daemon) override;

  int removeFile(const char* path) override;
  std::string dataFile(const char* name) override;
  int hostName(std::string& name) override;

  WordStatus readWord(std::string& word, size_t maxLength) override;
  bool readPassword(const std::string& prompt, std::string& password) override;
  std::optional<std::string> environmentValue(const char* name) override;

  void pause(unsigned seconds) override;
  void log(const std::string& message) override;
};

#endif  // KIVCONFIG_BASE_SYSTEM_HOST_H_
