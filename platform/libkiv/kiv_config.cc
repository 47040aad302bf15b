// The store operations of kiv.h over one current file, loaded at the first
// get and kept until kivEndConfig or kivSetConfigFile.
//
// Sets are kept as a list of pending changes besides the loaded content. A
// save takes the store's lock, loads the file afresh, applies the pending
// changes to it and replaces the file, so that writers in other processes
// that saved since this one loaded keep their changes. The lock is held for
// the save alone: a writer may wait at a prompt between its sets, and must
// not hold up every other writer meanwhile.
#include "kiv_config.h"

#include <errno.h>
#include <string.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kiv.h"
#include "kiv_file.h"
#include "kiv_keys.h"
#include "kiv_store.h"

namespace {

constexpr const char* kDefaultConfigFile = "/etc/kiv.conf";

struct PendingSet {
  std::string key;
  std::string value;
};

struct CurrentFile {
  std::string path = kDefaultConfigFile;
  bool loaded = false;
  kiv::Store store;  // the file's content with the pending sets applied
  std::vector<PendingSet> pending;
};

CurrentFile& currentFile() {
  static CurrentFile file;
  return file;
}

// Reads the file at `path` into `store` and applies `pending` to it.
int loadStore(const std::string& path, const std::vector<PendingSet>& pending, kiv::Store& store) {
  std::string content;
  if (kiv::readFileIfExists(path, content) != 0) {
    return -1;
  }
  store = kiv::parseStore(content);
  for (const PendingSet& set : pending) {
    kiv::setStoreValue(store, set.key, set.value);
  }
  return 0;
}

void dropCurrentContent(CurrentFile& file) {
  file.store = kiv::Store();
  file.pending.clear();
  file.loaded = false;
}

}  // namespace

namespace kiv {

const std::string& currentConfigPath() {
  return currentFile().path;
}

int loadCurrentFile() {
  CurrentFile& file = currentFile();
  if (file.loaded) {
    return 0;
  }
  if (loadStore(file.path, file.pending, file.store) != 0) {
    return -1;
  }
  file.loaded = true;
  return 0;
}

int findCurrentValue(std::string_view key, std::string& value) {
  if (loadCurrentFile() != 0) {
    return -1;
  }
  return findStoreValue(currentFile().store, key, value) ? 1 : 0;
}

}  // namespace kiv

namespace {

// A key must read back as the same key: no "=", blanks or line ends, and no
// leading "#" that would make its line a comment.
bool isStorableKey(std::string_view key) {
  return !key.empty() && key.front() != '#' && key.find_first_of("= \t\r\n\v\f") == key.npos;
}

bool isStorableValue(std::string_view value) {
  return value.find_first_of("\r\n") == value.npos;
}

}  // namespace

extern "C" {

int kivSetConfigFile(const char* path) {
  CurrentFile& file = currentFile();
  file.path = (path != nullptr && *path != '\0') ? path : kDefaultConfigFile;
  dropCurrentContent(file);
  return 0;
}

int kivGetParamWithFlags(const char* key, void* buffer, int size, int /*flags*/) {
  if (key == nullptr || buffer == nullptr || size <= 0) {
    return 0;
  }
  std::string value;
  int found = kiv::findCurrentValue(key, value);
  if (found != 1) {
    return found;
  }
  if (kiv::isIntegerKey(key)) {
    int number = 0;
    if (static_cast<size_t>(size) < sizeof number || !kiv::parseDecimalInt(value, number)) {
      return 0;
    }
    memcpy(buffer, &number, sizeof number);
    return 1;
  }
  // A NUL inside the value would hand the caller a silently shortened text.
  if (value.size() >= static_cast<size_t>(size) || value.find('\0') != value.npos) {
    return 0;
  }
  memcpy(buffer, value.c_str(), value.size() + 1);
  return 1;
}

int kivGetParam(const char* key, void* buffer, int size) {
  return kivGetParamWithFlags(key, buffer, size, 0);
}

int kivSetParamWithFlags(const char* key, const void* value, int /*flags*/) {
  if (key == nullptr || value == nullptr || !isStorableKey(key)) {
    return 0;
  }
  std::string text;
  if (kiv::isIntegerKey(key)) {
    int number = 0;
    memcpy(&number, value, sizeof number);
    text = std::to_string(number);
  } else {
    text = static_cast<const char*>(value);
  }
  if (!isStorableValue(text)) {
    return 0;
  }
  CurrentFile& file = currentFile();
  if (file.loaded) {
    kiv::setStoreValue(file.store, key, text);
  }
  file.pending.push_back({key, std::move(text)});
  return 1;
}

int kivSetParam(const char* key, const void* value) {
  return kivSetParamWithFlags(key, value, 0);
}

int kivSaveConfig(int /*reserved*/) {
  CurrentFile& file = currentFile();
  kiv::StoreLock lock;
  kiv::Store store;
  if (lock.acquire(file.path) != 0 || loadStore(file.path, file.pending, store) != 0 ||
      kiv::replaceFileAtomically(file.path, kiv::renderStore(store)) != 0) {
    return -1;
  }
  file.store = std::move(store);
  file.pending.clear();
  file.loaded = true;
  return 0;
}

int kivEndConfig(void) {
  dropCurrentContent(currentFile());
  return 0;
}

}  // extern "C"
