// Search filters (RFC 4511) and their evaluation against an entry.
//
// evaluateFilter gives the three-valued answer of RFC 4511 section 4.5.1.7:
// a filter on an attribute type the schema does not define is Undefined, and
// an entry is returned only when the whole filter is True. Equality on
// "attributeTypes" and "objectClasses" matches a definition by its OID or
// any NAME, which is how clients ask the schema entry for one definition.
#pragma once

#include <string>
#include <vector>

#include "entry.h"
#include "schema.h"

namespace ombrel {

struct Filter {
  enum Kind {
    kAnd,
    kOr,
    kNot,
    kEquality,
    kSubstrings,
    kGreaterOrEqual,
    kLessOrEqual,
    kPresent,
    kApprox,
    kExtensible,
  };
  Kind kind = kPresent;
  std::string attribute;
  std::string value;  // assertion value of equality, ordering and approx
  bool has_initial = false;
  std::string initial;
  std::vector<std::string> any;
  bool has_final = false;
  std::string final_part;
  std::vector<Filter> children;  // and, or: operands; not: exactly one
};

enum class Truth { kTrue, kFalse, kUndefined };

Truth evaluateFilter(const Filter& filter, const Entry& entry, const Schema& schema);

// Whether two values are equal under the attribute type's equality rule;
// comparableValue gives the form in which equal values are equal strings.
bool valuesEqual(MatchRule rule, const std::string& a, const std::string& b);
std::string comparableValue(MatchRule rule, const std::string& value);

// The filter in its RFC 4515 string form, for the log.
std::string filterToString(const Filter& filter);

}  // namespace ombrel
