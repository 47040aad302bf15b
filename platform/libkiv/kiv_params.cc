// getParameterValue and vrd_config of kiv.h: the get and set commands over
// the parameter table and the current store file.
#include <errno.h>
#include <libintl.h>
#include <locale.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "kiv.h"
#include "kiv_charset.h"
#include "kiv_config.h"
#include "kiv_keys.h"

namespace {

using kiv::Parameter;
using kiv::ParameterKind;

constexpr const char* kTextDomain = "velmar-pelk";
constexpr const char* kMaskedSecret = "********";

const char* translate(const char* message) {
  return dcgettext(kTextDomain, message, LC_MESSAGES);
}

bool splitWord(std::string_view word, std::string_view& name, std::string_view& value) {
  size_t equals = word.find('=');
  if (equals == word.npos) {
    return false;
  }
  name = word.substr(0, equals);
  value = word.substr(equals + 1);
  return true;
}

std::vector<std::string_view> listWords(char** list) {
  std::vector<std::string_view> words;
  for (; list != nullptr && *list != nullptr; ++list) {
    words.emplace_back(*list);
  }
  return words;
}

// Why the store failed, from errno: the store reports a path that is neither
// a regular file nor a directory as EINVAL.
const char* storeErrorText() {
  return errno == EINVAL ? translate("not a regular file") : strerror(errno);
}

int reportUnreadableStore() {
  fprintf(stderr, translate("Cannot read %s: %s\n"), kiv::currentConfigPath().c_str(),
          storeErrorText());
  return 1;
}

// Prints "name=value" for a stored parameter. Returns 1 when it is set, 0 when
// not, -1 when the store cannot be read.
int showParameter(const Parameter& parameter) {
  std::string value;
  int found = kiv::findCurrentValue(parameter.name, value);
  if (found != 1) {
    return found;
  }
  if (parameter.kind == ParameterKind::kSecret) {
    value = kMaskedSecret;
  } else if (parameter.kind == ParameterKind::kUtf8Text) {
    std::string local;
    // Bytes the terminal cannot show are printed as stored.
    if (kiv::convertLocaleText(value, false, local) == 0) {
      value = std::move(local);
    }
  }
  printf("%s=%s\n", parameter.name, value.c_str());
  return 1;
}

int showAllParameters() {
  for (const Parameter& parameter : kiv::parameterTable()) {
    if (showParameter(parameter) < 0) {
      return reportUnreadableStore();
    }
  }
  return 0;
}

// The parameter called `name`, or nullptr after saying it does not exist.
const Parameter* findOrReportParameter(std::string_view name) {
  const Parameter* parameter = kiv::findParameter(name);
  if (parameter == nullptr) {
    fprintf(stderr, translate("Unknown parameter: %s\n"), std::string(name).c_str());
  }
  return parameter;
}

int showNamedParameters(const std::vector<std::string_view>& names) {
  int result = 0;
  for (std::string_view name : names) {
    const Parameter* parameter = findOrReportParameter(name);
    if (parameter == nullptr) {
      result = 1;
      continue;
    }
    int shown = showParameter(*parameter);
    if (shown < 0) {
      return reportUnreadableStore();
    }
    if (shown == 0) {
      printf(translate("%s is not set\n"), parameter->name);
    }
  }
  return result;
}

void explainParameter(const Parameter& parameter) {
  const char* meaning = translate(parameter.meaning);
  switch (parameter.kind) {
    case ParameterKind::kInteger:
      printf(translate("%s (integer from %ld to %ld, default %s): %s\n"), parameter.name,
             parameter.minimum, parameter.maximum, parameter.defaultValue, meaning);
      break;
    case ParameterKind::kYesNo:
      printf(translate("%s (yes or no, default %s): %s\n"), parameter.name, parameter.defaultValue,
             meaning);
      break;
    case ParameterKind::kChoice:
      printf(translate("%s (one of %s, default %s): %s\n"), parameter.name, parameter.choices,
             parameter.defaultValue, meaning);
      break;
    case ParameterKind::kText:
    case ParameterKind::kUtf8Text:
      printf(translate("%s (text, no default): %s\n"), parameter.name, meaning);
      break;
    case ParameterKind::kSecret:
      printf(translate("%s (text, no default, never shown): %s\n"), parameter.name, meaning);
      break;
  }
}

int explainNamedParameters(const std::vector<std::string_view>& names) {
  int result = 0;
  for (std::string_view name : names) {
    const Parameter* parameter = findOrReportParameter(name);
    if (parameter == nullptr) {
      result = 1;
    } else {
      explainParameter(*parameter);
    }
  }
  return result;
}

struct Update {
  const Parameter* parameter;
  std::string text;  // what the store keeps
  int number;        // for integer parameters
};

// Checks one name=value word and turns it into an update. Returns 0, or 1
// after printing why the word cannot be set.
int prepareUpdate(std::string_view word, Update& update) {
  std::string_view name;
  std::string_view value;
  if (!splitWord(word, name, value)) {
    fprintf(stderr, translate("Missing \"=\" in %s\n"), std::string(word).c_str());
    return 1;
  }
  const Parameter* parameter = findOrReportParameter(name);
  if (parameter == nullptr) {
    return 1;
  }
  update.parameter = parameter;
  const std::string shown(value);
  std::string_view canonical;
  switch (parameter->kind) {
    case ParameterKind::kInteger:
      if (!kiv::parseDecimalInt(value, update.number) || update.number < parameter->minimum ||
          update.number > parameter->maximum) {
        fprintf(stderr,
                translate("Invalid value for %s: %s (an integer from %ld to %ld is expected)\n"),
                parameter->name, shown.c_str(), parameter->minimum, parameter->maximum);
        return 1;
      }
      update.text = std::to_string(update.number);
      return 0;
    case ParameterKind::kYesNo:
      if (!kiv::matchChoice("yes|no", value, canonical)) {
        fprintf(stderr, translate("Invalid value for %s: %s (yes or no is expected)\n"),
                parameter->name, shown.c_str());
        return 1;
      }
      update.text = canonical;
      return 0;
    case ParameterKind::kChoice:
      if (!kiv::matchChoice(parameter->choices, value, canonical)) {
        fprintf(stderr, translate("Invalid value for %s: %s (one of %s is expected)\n"),
                parameter->name, shown.c_str(), parameter->choices);
        return 1;
      }
      update.text = canonical;
      return 0;
    case ParameterKind::kText:
    case ParameterKind::kUtf8Text:
    case ParameterKind::kSecret:
      break;
  }
  if (value.find_first_of("\r\n") != value.npos) {
    fprintf(stderr, translate("Invalid value for %s: a value cannot hold a line end\n"),
            parameter->name);
    return 1;
  }
  if (parameter->kind == ParameterKind::kText) {
    update.text = value;
  } else if (kiv::convertLocaleText(value, true, update.text) != 0) {
    fprintf(stderr, translate("Invalid value for %s: it is not text of the current locale\n"),
            parameter->name);
    return 1;
  }
  return 0;
}

int storeUpdates(const std::vector<Update>& updates) {
  if (kiv::loadCurrentFile() != 0) {
    return reportUnreadableStore();
  }
  for (const Update& update : updates) {
    const void* value = update.parameter->kind == ParameterKind::kInteger
                            ? static_cast<const void*>(&update.number)
                            : static_cast<const void*>(update.text.c_str());
    // Only malformed keys or values are refused, and the table and the checks
    // above rule both out.
    if (kivSetParam(update.parameter->name, value) != 1) {
      fprintf(stderr, translate("Cannot set %s\n"), update.parameter->name);
      return 1;
    }
  }
  if (kivSaveConfig(0) != 0) {
    fprintf(stderr, translate("Cannot save the parameters to %s: %s\n"),
            kiv::currentConfigPath().c_str(), storeErrorText());
    return 1;
  }
  return 0;
}

int setParameters(const std::vector<std::string_view>& words) {
  std::vector<Update> updates(words.size());
  int failures = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    failures += prepareUpdate(words[i], updates[i]);
  }
  if (failures != 0) {
    return 1;
  }
  int result = storeUpdates(updates);
  kivEndConfig();
  return result;
}

}  // namespace

extern "C" {

int getParameterValue(const char* word, char* name, size_t nameSize, char* value,
                      size_t valueSize) {
  std::string_view namePart;
  std::string_view valuePart;
  if (word == nullptr || name == nullptr || value == nullptr ||
      !splitWord(word, namePart, valuePart) || namePart.size() >= nameSize ||
      valuePart.size() >= valueSize) {
    return -1;
  }
  memcpy(name, namePart.data(), namePart.size());
  name[namePart.size()] = '\0';
  memcpy(value, valuePart.data(), valuePart.size());
  value[valuePart.size()] = '\0';
  return 0;
}

int vrd_config(void* /*context*/, int mode, char** list, int /*flags*/) {
  std::vector<std::string_view> words = listWords(list);
  switch (mode) {
    case 'V':
      return showAllParameters();
    case 'v':
      return showNamedParameters(words);
    case 'H':
      for (const Parameter& parameter : kiv::parameterTable()) {
        explainParameter(parameter);
      }
      return 0;
    case 'h':
      return explainNamedParameters(words);
    case 's':
      return setParameters(words);
    default:
      fprintf(stderr, translate("Unknown parameter command: %d\n"), mode);
      return 1;
  }
}

}  // extern "C"
