#include "base/system_host.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/file_io.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/terminal_input.h"
#include "kiv.h"

extern char** environ;

namespace {

struct DaemonFiles {
  const char* program;
  const char* pidFiles[2];
};

constexpr DaemonFiles kKivcdFiles = {"/usr/sbin/kivcd",
                                     {"/var/run/velmar-pelk/kivcd.pid", nullptr}};
constexpr DaemonFiles kNscdFiles = {"/usr/sbin/nscd",
                                    {"/var/run/nscd/nscd.pid", "/var/run/nscd.pid"}};

const DaemonFiles& filesOf(Daemon daemon) {
  return daemon == Daemon::kKivcd ? kKivcdFiles : kNscdFiles;
}

// The variables that may hold a password never reach a child.
bool isSecretVariable(const char* entry) {
  for (const char* name : {"PELK_PWD=", "PELK_PROXY_PWD="}) {
    if (strncmp(entry, name, strlen(name)) == 0)
      return true;
  }
  return false;
}

std::vector<char*> environmentWithoutSecrets() {
  std::vector<char*> kept;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (!isSecretVariable(*entry))
      kept.push_back(*entry);
  }
  kept.push_back(nullptr);
  return kept;
}

}  // namespace

void SystemHost::selectStore(const char* path) {
  kivSetConfigFile(path);
}

std::optional<std::string> SystemHost::readStoreText(const char* key, bool utf8Dn) {
  std::vector<char> value(kStoreValueSize);
  int size = static_cast<int>(value.size());
  int found = utf8Dn ? kivGetParamWithFlags(key, value.data(), size, KIV_FLAG_UTF8_DN)
                     : kivGetParam(key, value.data(), size);
  if (found != 1)
    return std::nullopt;
  return std::string(value.data());
}

std::optional<int> SystemHost::readStoreInteger(const char* key) {
  int value = 0;
  if (kivGetParam(key, &value, sizeof value) != 1)
    return std::nullopt;
  return value;
}

bool SystemHost::setStoreText(const char* key, const std::string& value, bool utf8Dn) {
  if (value.size() >= kStoreValueSize)
    return false;
  int stored = utf8Dn ? kivSetParamWithFlags(key, value.c_str(), KIV_FLAG_UTF8_DN)
                      : kivSetParam(key, value.c_str());
  return stored == 1;
}

bool SystemHost::setStoreInteger(const char* key, int value) {
  return kivSetParam(key, &value) == 1;
}

int SystemHost::saveStore() {
  if (kivSaveConfig(0) == 0)
    return 0;
  return errno != 0 ? errno : EIO;
}

void SystemHost::endStore() {
  kivEndConfig();
}

int SystemHost::runParameterCommand(char mode, char** words) {
  return vrd_config(nullptr, mode, words, 0);
}

int SystemHost::runInitScript(Daemon daemon, const char* action) {
  std::string script = std::string("/etc/init.d/") + daemonName(daemon);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0)
    return 1;
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  char* argv[] = {script.data(), const_cast<char*>(action), nullptr};
  std::vector<char*> environment = environmentWithoutSecrets();
  fflush(stdout);
  fflush(stderr);
  pid_t child = 0;
  int spawned = posix_spawn(&child, script.c_str(), &actions, nullptr, argv, environment.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0)
    return 1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR)
      return 1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

bool SystemHost::isDaemonRunning(Daemon daemon) {
  for (const char* pidFile : filesOf(daemon).pidFiles) {
    if (pidFile != nullptr && access(pidFile, F_OK) == 0)
      return true;
  }
  return false;
}

bool SystemHost::isDaemonInstalled(Daemon daemon) {
  return access(filesOf(daemon).program, R_OK | X_OK) == 0;
}

int SystemHost::removeFile(const char* path) {
  return unlink(path) == 0 ? 0 : errno;
}

std::string SystemHost::dataFile(const char* name) {
  return std::string(kStateDir) + "/" + name;
}

int SystemHost::hostName(std::string& name) {
  // Room for the longest name the system keeps, and its NUL.
  std::vector<char> buffer(HOST_NAME_MAX + 2, '\0');
  if (gethostname(buffer.data(), buffer.size() - 1) != 0)
    return errno;
  name = buffer.data();
  return 0;
}

WordStatus SystemHost::readWord(std::string& word, size_t maxLength) {
  return readTerminalWord(stdin, word, maxLength);
}

bool SystemHost::readPassword(const std::string& prompt, std::string& password) {
  // Answers piped one per line: a word prompt left its line end unread, and
  // the password is the next line, not the empty rest of that one.
  if (!isatty(STDIN_FILENO)) {
    int next = fgetc(stdin);
    if (next != '\n' && next != EOF)
      ungetc(next, stdin);
  }
  const char* typed = getpass(prompt.c_str());
  if (typed == nullptr)
    return false;
  password = typed;
  return true;
}

std::optional<std::string> SystemHost::environmentValue(const char* name) {
  const char* value = getenv(name);
  if (value == nullptr)
    return std::nullopt;
  return std::string(value);
}

void SystemHost::pause(unsigned seconds) {
  while (seconds > 0)
    seconds = sleep(seconds);
}

void SystemHost::log(const std::string& message) {
  UniqueFd fd(open(kLogFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!fd.valid()) {
    syslog(LOG_ERR, "Unable to open %s file", kLogFile);
    return;
  }
  time_t now = time(nullptr);
  char stamp[64] = "";
  if (ctime_r(&now, stamp) == nullptr)
    stamp[0] = '\0';
  std::string line(stamp);
  if (!line.empty() && line.back() == '\n')
    line.pop_back();
  line += ": ";
  // Whatever a message carries, it stays the line the program wrote: only
  // the program's own line ends pass unescaped.
  line += withoutControlBytes(message, true);
  line += '\n';
  int error = writeAll(fd.get(), line.data(), line.size());
  if (error != 0) {
    errno = error;
    perror("Failed to write into kiv.log file");
    syslog(LOG_ERR, "Failed to write into kiv.log file");
  }
}
