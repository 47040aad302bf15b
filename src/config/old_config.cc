#include "config/old_config.h"

#include <strings.h>

#include <optional>
#include <vector>

#include "base/log.h"
#include "base/paths.h"
#include "base/result_codes.h"
#include "base/run_settings.h"
#include "base/server_name.h"

namespace {

// The cache tuning keys of the old file and their names in the store, in the
// order they are copied.
// Each value is checked as set checks it: an integer in its range, or one
// of the choices (any case; stored as listed).
struct TuningKey {
  const char* oldKey;
  const char* key;
  bool integer;
  long minimum;
  long maximum;
  const char* choices[4];
};
constexpr TuningKey kTuningKeys[] = {
    {"t3v.qup.num-threads", "num-threads", true, 1, 256, {}},
    {"t3v.qup.enable-persistent-cache", "enable-persistent-cache", false, 0, 0, {"yes", "no"}},
    {"t3v.qup.user-hash-size", "user-hash-size", true, 1, 1000003, {}},
    {"t3v.qup.group-hash-size", "group-hash-size", true, 1, 1000003, {}},
    {"t3v.qup.persistent-cache-refresh-period",
     "persistent-cache-refresh-period",
     true,
     0,
     2147483647,
     {}},
    {"t3v.qup.persistent-cache-refresh-flag",
     "persistent-cache-refresh-flag",
     false,
     0,
     0,
     {"all", "user", "group"}},
    {"t3v.qup.create-home", "create-home", false, 0, 0, {"yes", "no"}},
};

// The value of `key` as the store takes it, or none after reporting that
// the older client's value is not valid.
std::optional<StoreValue> checkedTuningValue(Host& host, const TuningKey& key,
                                             std::optional<int> integer,
                                             const std::optional<std::string>& text) {
  if (integer && *integer >= key.minimum && *integer <= key.maximum)
    return StoreValue{key.key, integer, ""};
  for (const char* choice : key.choices) {
    if (text && choice != nullptr && strcasecmp(text->c_str(), choice) == 0)
      return StoreValue{key.key, std::nullopt, choice};
  }
  std::string shown = integer ? std::to_string(*integer) : text.value_or("");
  printAndLog(host, "The value \"%s\" of %s in %s is not valid and was not copied\n",
              printableText(shown).c_str(), key.oldKey, kOldConfigFile);
  return std::nullopt;
}

int takeOldBaseContext(Host& host, std::string& partitionRoot, std::optional<std::string>& server) {
  std::optional<std::string> dotted = host.readStoreText("t3v.qup.base-name", true);
  if (!dotted)
    return kNoOldBaseName;
  std::string dn;
  switch (dottedToDn(*dotted, dn)) {
    case DottedNameResult::kConverted:
      break;
    case DottedNameResult::kNoParts:
      return kNoOldBaseName;
    case DottedNameResult::kTooLong:
      printAndLog(host, "The partition root given by t3v.qup.base-name in %s is too long\n",
                  kOldConfigFile);
      return kNoOldBaseName;
  }
  std::optional<std::string> oldServer = host.readStoreText("t3v.vrd.preferred-server", false);
  if (oldServer && !isValidServerName(*oldServer)) {
    reportInvalidServerName(host, *oldServer);
    return kAlreadyReported;
  }
  partitionRoot = dn;
  server = oldServer;
  return 0;
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

int readOldBaseContext(Host& host, std::string& partitionRoot, std::optional<std::string>& server) {
  host.selectStore(kOldConfigFile);
  int rc = takeOldBaseContext(host, partitionRoot, server);
  host.selectStore(kConfigFile);
  return rc;
}

std::vector<StoreValue> readOldTuningValues(Host& host) {
  host.selectStore(kOldConfigFile);
  std::vector<StoreValue> values;
  for (const TuningKey& key : kTuningKeys) {
    std::optional<int> integer;
    std::optional<std::string> text;
    if (key.integer)
      integer = host.readStoreInteger(key.oldKey);
    else
      text = host.readStoreText(key.oldKey, false);
    if (!integer && !text)
      continue;
    std::optional<StoreValue> value = checkedTuningValue(host, key, integer, text);
    if (value)
      values.push_back(*value);
  }
  host.selectStore(kConfigFile);
  return values;
}
