// The parameters of the store: their names, kinds, allowed values, defaults
// and meanings, and the text form of integer values.
#ifndef KIV_KEYS_H_
#define KIV_KEYS_H_

#include <span>
#include <string_view>

namespace kiv {

enum class ParameterKind {
  kText,      // any text without line ends
  kUtf8Text,  // text kept in UTF-8, given and shown in the locale's codeset
  kSecret,    // like kUtf8Text, never shown
  kInteger,   // decimal int in [minimum, maximum]
  kYesNo,     // "yes" or "no"
  kChoice,    // one of the "|"-separated choices
};

// Marks a meaning for the message template; it is translated where it is
// shown. Returns the text unchanged.
constexpr const char* translatable(const char* text) {
  return text;
}

struct Parameter {
  const char* name;
  ParameterKind kind;
  long minimum;
  long maximum;
  const char* choices;       // kChoice only
  const char* defaultValue;  // empty when there is none
  const char* meaning;       // English message text, in the message catalogue
};

// The parameters in the order they are listed and written.
std::span<const Parameter> parameterTable();

// The parameter named `name`, compared without regard to case, or nullptr.
const Parameter* findParameter(std::string_view name);

// Whether `key` holds an int (this includes keys of the older file).
bool isIntegerKey(std::string_view key);

// Parses a decimal int with an optional sign and surrounding blanks. False on
// anything else: no digits, other bytes, or a value outside int.
bool parseDecimalInt(std::string_view text, int& value);

// Whether `value` equals one of the "|"-separated `choices` without regard to
// case; `canonical` then receives the choice as written in `choices`.
bool matchChoice(std::string_view choices, std::string_view value, std::string_view& canonical);

}  // namespace kiv

#endif  // KIV_KEYS_H_
