// The store operations of kiv.h over one current file, loaded at the first
// get or set and kept until kivEndConfig or kivSetConfigFile.
#include "kiv_config.h"

#include <errno.h>
#include <string.h>

#include <string>
#include <string_view>

#include "kiv.h"
#include "kiv_file.h"
#include "kiv_keys.h"
#include "kiv_store.h"

namespace {

constexpr const char* kDefaultConfigFile = "/etc/kiv.conf";

struct CurrentFile {
  std::string path = kDefaultConfigFile;
  bool loaded = false;
  kiv::Store store;
};

CurrentFile& currentFile() {
  static CurrentFile file;
  return file;
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
  std::string content;
  if (readFileIfExists(file.path, content) != 0) {
    return -1;
  }
  file.store = parseStore(content);
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
  file.store = kiv::Store();
  file.loaded = false;
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
  if (!isStorableValue(text) || kiv::loadCurrentFile() != 0) {
    return 0;
  }
  kiv::setStoreValue(currentFile().store, key, text);
  return 1;
}

int kivSetParam(const char* key, const void* value) {
  return kivSetParamWithFlags(key, value, 0);
}

int kivSaveConfig(int /*reserved*/) {
  if (kiv::loadCurrentFile() != 0) {
    return -1;
  }
  const CurrentFile& file = currentFile();
  return kiv::replaceFileAtomically(file.path, kiv::renderStore(file.store));
}

int kivEndConfig(void) {
  CurrentFile& file = currentFile();
  file.store = kiv::Store();
  file.loaded = false;
  return 0;
}

}  // extern "C"
