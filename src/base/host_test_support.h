// RecordingHost: the machine of unit tests. It keeps the store files, the
// daemons' states, the files present, the host name, the typed answers and
// the environment in memory, as the test sets them up, and records every
// call that changes something as one line of text ("select PATH", "set
// KEY=VALUE", "save", "end", "parameters MODE WORD...", "init DAEMON
// ACTION", "remove PATH", "pause SECONDS"); log lines go to `logLines`.
#ifndef KIVCONFIG_BASE_HOST_TEST_SUPPORT_H_
#define KIVCONFIG_BASE_HOST_TEST_SUPPORT_H_

#include <cerrno>
#include <charconv>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/paths.h"

using Lines = std::vector<std::string>;

// The lines, each ending in a line end: one text to compare.
inline std::string joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

// The calls that empty the client's cache, as add, upgrade, rm and cache_refresh make them.
const std::string kCacheRemovals =
    "remove /var/lib/velmar-pelk/.refresh_info\nremove /var/lib/velmar-pelk/.user_info.dir\n"
    "remove /var/lib/velmar-pelk/.user_info.pag\nremove /var/lib/velmar-pelk/.group_info.dir\n"
    "remove /var/lib/velmar-pelk/.group_info.pag\n";

class RecordingHost : public Host {
 public:
  using Store = std::map<std::string, std::string>;

  // Store files by path; "/etc/kiv.conf" is `stores[kConfigFile]`.
  std::map<std::string, Store> stores;
  Store& store() { return stores[kConfigFile]; }
  int saveError = 0;               // errno every save fails with
  int parameterCommandResult = 0;  // what the library's get/set answers

  std::set<Daemon> running;
  bool nscdInstalled = true;
  std::set<std::string> failingInitCalls;  // "kivcd start", ...

  std::set<std::string> files;              // paths present
  std::map<std::string, int> removeErrors;  // path -> errno

  std::string name = "ws1.example.org";
  int hostNameError = 0;

  std::deque<std::string> typedWords;  // answers to word prompts, in order
  std::deque<std::string> typedPasswords;
  std::map<std::string, std::string> environment;

  Lines calls;
  Lines logLines;

  void selectStore(const char* path) override {
    calls.push_back(std::string("select ") + path);
    current_ = path;
    pending_.clear();
  }
  std::optional<std::string> readStoreText(const char* key, bool) override {
    const Store& file = stores[current_];
    auto found = file.find(key);
    return found == file.end() ? std::nullopt : std::optional(found->second);
  }
  std::optional<int> readStoreInteger(const char* key) override {
    std::optional<std::string> text = readStoreText(key, false);
    int value = 0;
    if (!text ||
        std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc())
      return std::nullopt;
    return value;
  }
  bool setStoreText(const char* key, const std::string& value, bool) override {
    calls.push_back(std::string("set ") + key + "=" + value);
    if (value.size() >= kStoreValueSize || value.find_first_of("\r\n") != std::string::npos)
      return false;
    pending_.emplace_back(key, value);
    return true;
  }
  bool setStoreInteger(const char* key, int value) override {
    return setStoreText(key, std::to_string(value), false);
  }
  int saveStore() override {
    calls.push_back("save");
    if (saveError != 0)
      return saveError;
    for (const auto& [key, value] : pending_)
      stores[current_][key] = value;
    pending_.clear();
    return 0;
  }
  void endStore() override {
    calls.push_back("end");
    pending_.clear();
  }
  int runParameterCommand(char mode, char** words) override {
    std::string line = std::string("parameters ") + mode;
    for (char** word = words; word != nullptr && *word != nullptr; ++word)
      line += std::string(" ") + *word;
    calls.push_back(line);
    return parameterCommandResult;
  }

  int runInitScript(Daemon daemon, const char* action) override {
    std::string call = std::string(daemonName(daemon)) + " " + action;
    calls.push_back("init " + call);
    if (failingInitCalls.count(call) != 0)
      return 1;
    running.erase(daemon);
    if (std::string(action) != "stop")
      running.insert(daemon);
    return 0;
  }
  bool isDaemonRunning(Daemon daemon) override { return running.count(daemon) != 0; }
  bool isDaemonInstalled(Daemon daemon) override {
    return daemon == Daemon::kKivcd || nscdInstalled;
  }

  int removeFile(const char* path) override {
    calls.push_back(std::string("remove ") + path);
    auto error = removeErrors.find(path);
    return error != removeErrors.end() ? error->second : files.erase(path) != 0 ? 0 : ENOENT;
  }

  std::string dataFile(const char* file) override { return KIV_DATA_DIR "/" + std::string(file); }

  int hostName(std::string& result) override {
    result = hostNameError == 0 ? name : "";
    return hostNameError;
  }

  WordStatus readWord(std::string& word, size_t maxLength) override {
    if (typedWords.empty())
      return WordStatus::kEndOfInput;
    word = typedWords.front();
    typedWords.pop_front();
    return word.size() <= maxLength ? WordStatus::kRead : WordStatus::kTooLong;
  }
  bool readPassword(const std::string&, std::string& password) override {
    if (typedPasswords.empty())
      return false;
    password = typedPasswords.front();
    typedPasswords.pop_front();
    return true;
  }
  std::optional<std::string> environmentValue(const char* variable) override {
    auto found = environment.find(variable);
    return found == environment.end() ? std::nullopt : std::optional(found->second);
  }

  void pause(unsigned seconds) override { calls.push_back("pause " + std::to_string(seconds)); }
  void log(const std::string& message) override { logLines.push_back(message); }

 private:
  std::string current_ = kConfigFile;
  std::vector<std::pair<std::string, std::string>> pending_;
};

#endif  // KIVCONFIG_BASE_HOST_TEST_SUPPORT_H_
