#include "config/old_config.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "base/log.h"
#include "base/paths.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/server_name.h"
#include "config/store_reader.h"
#include "kiv.h"

namespace {

// The cache tuning keys of the old file and their names in the store, in the
// order they are copied.
struct TuningKey {
  const char* oldKey;
  const char* key;
  bool integer;
};
constexpr TuningKey kTuningKeys[] = {
    {"t3v.qup.num-threads", "num-threads", true},
    {"t3v.qup.enable-persistent-cache", "enable-persistent-cache", false},
    {"t3v.qup.user-hash-size", "user-hash-size", true},
    {"t3v.qup.group-hash-size", "group-hash-size", true},
    {"t3v.qup.persistent-cache-refresh-period", "persistent-cache-refresh-period", true},
    {"t3v.qup.persistent-cache-refresh-flag", "persistent-cache-refresh-flag", false},
    {"t3v.qup.create-home", "create-home", false},
};

struct OldValue {
  std::optional<int> integer;
  std::optional<std::string> text;
};

int takeOldBaseContext() {
  std::optional<std::string> dotted = readStoreDn("t3v.qup.base-name");
  if (!dotted)
    return kNoOldBaseName;
  std::string dn;
  switch (dottedToDn(*dotted, dn)) {
    case DottedNameResult::kConverted:
      break;
    case DottedNameResult::kNoParts:
      return kNoOldBaseName;
    case DottedNameResult::kTooLong:
      printAndLog("The partition root given by t3v.qup.base-name in %s is too long\n",
                  kOldConfigFile);
      return kNoOldBaseName;
  }
  std::optional<std::string> server = readStoreText("t3v.vrd.preferred-server");
  if (server && !isValidServerName(*server)) {
    reportInvalidServerName(*server);
    return kAlreadyReported;
  }
  runSettings.partitionRoot = dn;
  runSettings.ldapServer = server;
  return 0;
}

// Sets the values read; the key of the first value the store refused, or
// nullptr.
const char* storeTuningValues(const std::vector<OldValue>& values, bool& copied) {
  const char* refusedKey = nullptr;
  for (size_t i = 0; i < values.size(); ++i) {
    const char* key = kTuningKeys[i].key;
    int stored = 1;
    if (values[i].integer) {
      stored = kivSetParam(key, &*values[i].integer);
    } else if (values[i].text) {
      stored = kivSetParam(key, values[i].text->c_str());
    } else {
      continue;
    }
    copied = true;
    if (stored != 1 && refusedKey == nullptr)
      refusedKey = key;
  }
  return refusedKey;
}

}  // namespace

DottedNameResult dottedToDn(std::string_view dotted, std::string& dn) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start < dotted.size()) {
    size_t end = dotted.find('.', start);
    if (end == std::string_view::npos)
      end = dotted.size();
    if (end > start)
      parts.push_back(dotted.substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty())
    return DottedNameResult::kNoParts;
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    if (parts[i].find('=') == std::string_view::npos)
      text += last ? "o=" : "ou=";
    text += parts[i];
    if (!last)
      text += ',';
  }
  if (text.size() >= kNameBufferSize)
    return DottedNameResult::kTooLong;
  dn = std::move(text);
  return DottedNameResult::kConverted;
}

int readOldBaseContext() {
  kivSetConfigFile(kOldConfigFile);
  int rc = takeOldBaseContext();
  kivSetConfigFile(kConfigFile);
  return rc;
}

int migrateOldSettings(bool& copied) {
  copied = false;
  kivSetConfigFile(kOldConfigFile);
  std::vector<OldValue> values;
  for (const TuningKey& key : kTuningKeys) {
    values.push_back(key.integer ? OldValue{readStoreInteger(key.oldKey), std::nullopt}
                                 : OldValue{std::nullopt, readStoreText(key.oldKey)});
  }
  kivSetConfigFile(kConfigFile);
  const char* refusedKey = storeTuningValues(values, copied);
  if (refusedKey != nullptr) {
    kivEndConfig();
    printAndLog("The value of %s cannot be stored in %s\n", refusedKey, kConfigFile);
    return 1;
  }
  int saved = kivSaveConfig(0);
  int saveError = errno;
  kivEndConfig();
  if (saved != 0) {
    printAndLog("Unable to save %s: %s\n", kConfigFile, strerror(saveError));
    return 1;
  }
  return 0;
}
