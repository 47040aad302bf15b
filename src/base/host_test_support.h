// RecordingHost: the machine of unit tests. It keeps the configuration store
// files, the daemons' states, the files present, the host name, the typed
// answers and the environment in memory, as the test sets them up, and
// records every call that changes something as one line of text:
//
//   select PATH            set KEY=VALUE          save          end
//   parameters MODE WORD...                       init DAEMON ACTION
//   remove PATH            pause SECONDS
//
// Log lines are kept apart, in `logLines`.
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

  std::string dataDirectory = KIV_DATA_DIR;  // where dataFile finds the schema files
  std::string name = "ws1.example.org";
  int hostNameError = 0;

  std::deque<std::string> typedWords;  // answers to word prompts, in order
  std::deque<std::string> typedPasswords;
  std::map<std::string, std::string> environment;

  std::vector<std::string> calls;
  std::vector<std::string> logLines;

  // The calls whose line starts with `prefix`, in order.
  std::vector<std::string> callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
      if (call.compare(0, prefix.size(), prefix) == 0)
        found.push_back(call);
    }
    return found;
  }

  void selectStore(const char* path) override {
    calls.push_back(std::string("select ") + path);
    current_ = path;
    pending_.clear();
  }
  std::optional<std::string> readStoreText(const char* key, bool) override {
    const Store& file = stores[current_];
    auto found = file.find(key);
    if (found == file.end() || found->second.size() >= kStoreValueSize)
      return std::nullopt;
    return found->second;
  }
  std::optional<int> readStoreInteger(const char* key) override {
    std::optional<std::string> text = readStoreText(key, false);
    int value = 0;
    if (!text || text->empty())
      return std::nullopt;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size())
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
    if (std::string(action) == "stop")
      running.erase(daemon);
    else
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
    if (error != removeErrors.end())
      return error->second;
    return files.erase(path) != 0 ? 0 : ENOENT;
  }

  std::string dataFile(const char* file) override { return dataDirectory + "/" + file; }

  int hostName(std::string& result) override {
    if (hostNameError != 0)
      return hostNameError;
    result = name;
    return 0;
  }

  WordStatus readWord(std::string& word, size_t maxLength) override {
    if (typedWords.empty())
      return WordStatus::kEndOfInput;
    word = typedWords.front();
    typedWords.pop_front();
    if (word.size() <= maxLength)
      return WordStatus::kRead;
    word.clear();
    return WordStatus::kTooLong;
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
    if (found == environment.end())
      return std::nullopt;
    return found->second;
  }

  void pause(unsigned seconds) override { calls.push_back("pause " + std::to_string(seconds)); }
  void log(const std::string& message) override { logLines.push_back(message); }

  static const char* daemonName(Daemon daemon) {
    return daemon == Daemon::kKivcd ? "kivcd" : "nscd";
  }

 private:
  std::string current_ = kConfigFile;
  std::vector<std::pair<std::string, std::string>> pending_;
};

#endif  // KIVCONFIG_BASE_HOST_TEST_SUPPORT_H_
