#include "filter.h"

#include <cctype>
#include <charconv>

#include "dn.h"
#include "result_codes.h"
#include "schema_definition.h"

namespace ombrel {
namespace {

std::string folded(MatchRule rule, const std::string& value) {
  switch (rule) {
    case MatchRule::kCaseExact:
      return value;
    case MatchRule::kDistinguishedName: {
      std::string ndn;
      if (normalizeDn(value, &ndn) == kSuccess)
        return ndn;
      return foldCaseAndSpaces(value);
    }
    case MatchRule::kDefinition:
      return canonicalDefinitionText(value);
    case MatchRule::kCaseIgnore:
    case MatchRule::kInteger:
      break;
  }
  return foldCaseAndSpaces(value);
}

bool parseInteger(const std::string& text, long long* out) {
  std::string trimmed = foldCaseAndSpaces(text);
  if (trimmed.empty())
    return false;
  auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), *out);
  return ec == std::errc() && end == trimmed.data() + trimmed.size();
}

// <0, 0, >0 like strcmp, under the rule.
int compareOrdered(MatchRule rule, const std::string& a, const std::string& b) {
  long long x = 0;
  long long y = 0;
  if (parseInteger(a, &x) && parseInteger(b, &y))
    return x < y ? -1 : x > y ? 1 : 0;
  return folded(rule, a).compare(folded(rule, b));
}

bool matchesSubstrings(const Filter& filter, MatchRule rule, const std::string& raw) {
  std::string value = folded(rule, raw);
  size_t pos = 0;
  if (filter.has_initial) {
    std::string initial = folded(rule, filter.initial);
    if (value.compare(0, initial.size(), initial) != 0)
      return false;
    pos = initial.size();
  }
  for (const std::string& part : filter.any) {
    std::string piece = folded(rule, part);
    size_t at = value.find(piece, pos);
    if (at == std::string::npos)
      return false;
    pos = at + piece.size();
  }
  if (filter.has_final) {
    std::string final_part = folded(rule, filter.final_part);
    if (final_part.size() > value.size() - pos)
      return false;
    return value.compare(value.size() - final_part.size(), final_part.size(), final_part) == 0;
  }
  return true;
}

Truth fromBool(bool b) {
  return b ? Truth::kTrue : Truth::kFalse;
}

Truth evaluateAssertion(const Filter& filter, const Entry& entry, const Schema& schema) {
  std::string key = schema.attributeKey(filter.attribute);
  if (key.empty())
    return filter.kind == Filter::kPresent ? Truth::kFalse : Truth::kUndefined;
  const std::vector<std::string>* values = entry.values(key);
  if (filter.kind == Filter::kPresent)
    return fromBool(values != nullptr && !values->empty());
  if (values == nullptr)
    return Truth::kFalse;
  MatchRule rule = schema.matchRule(filter.attribute);
  for (const std::string& value : *values) {
    switch (filter.kind) {
      case Filter::kEquality:
      case Filter::kApprox:
        if (rule == MatchRule::kDefinition ? definitionHasName(value, filter.value)
                                           : valuesEqual(rule, value, filter.value)) {
          return Truth::kTrue;
        }
        break;
      case Filter::kSubstrings:
        if (matchesSubstrings(filter, rule, value))
          return Truth::kTrue;
        break;
      case Filter::kGreaterOrEqual:
        if (compareOrdered(rule, value, filter.value) >= 0)
          return Truth::kTrue;
        break;
      case Filter::kLessOrEqual:
        if (compareOrdered(rule, value, filter.value) <= 0)
          return Truth::kTrue;
        break;
      default:
        return Truth::kUndefined;
    }
  }
  return Truth::kFalse;
}

void appendEscaped(std::string* out, const std::string& value) {
  static const char kHex[] = "0123456789abcdef";
  for (char c : value) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '*' || c == '(' || c == ')' || c == '\\' || u == 0) {
      *out += '\\';
      *out += kHex[u >> 4];
      *out += kHex[u & 15];
    } else {
      *out += c;
    }
  }
}

}  // namespace

std::string comparableValue(MatchRule rule, const std::string& value) {
  long long number = 0;
  if (rule == MatchRule::kInteger && parseInteger(value, &number))
    return std::to_string(number);
  return folded(rule, value);
}

bool valuesEqual(MatchRule rule, const std::string& a, const std::string& b) {
  return comparableValue(rule, a) == comparableValue(rule, b);
}

Truth evaluateFilter(const Filter& filter, const Entry& entry, const Schema& schema) {
  switch (filter.kind) {
    case Filter::kAnd: {
      Truth result = Truth::kTrue;
      for (const Filter& child : filter.children) {
        Truth t = evaluateFilter(child, entry, schema);
        if (t == Truth::kFalse)
          return Truth::kFalse;
        if (t == Truth::kUndefined)
          result = Truth::kUndefined;
      }
      return result;
    }
    case Filter::kOr: {
      Truth result = Truth::kFalse;
      for (const Filter& child : filter.children) {
        Truth t = evaluateFilter(child, entry, schema);
        if (t == Truth::kTrue)
          return Truth::kTrue;
        if (t == Truth::kUndefined)
          result = Truth::kUndefined;
      }
      return result;
    }
    case Filter::kNot: {
      if (filter.children.size() != 1)
        return Truth::kUndefined;
      Truth t = evaluateFilter(filter.children.front(), entry, schema);
      if (t == Truth::kUndefined)
        return t;
      return t == Truth::kTrue ? Truth::kFalse : Truth::kTrue;
    }
    case Filter::kExtensible:
      return Truth::kUndefined;
    default:
      return evaluateAssertion(filter, entry, schema);
  }
}

std::string filterToString(const Filter& filter) {
  std::string out = "(";
  switch (filter.kind) {
    case Filter::kAnd:
    case Filter::kOr:
    case Filter::kNot:
      out += filter.kind == Filter::kAnd ? '&' : filter.kind == Filter::kOr ? '|' : '!';
      for (const Filter& child : filter.children)
        out += filterToString(child);
      break;
    case Filter::kPresent:
      out += filter.attribute + "=*";
      break;
    case Filter::kSubstrings:
      out += filter.attribute + "=";
      if (filter.has_initial)
        appendEscaped(&out, filter.initial);
      out += '*';
      for (const std::string& part : filter.any) {
        appendEscaped(&out, part);
        out += '*';
      }
      if (filter.has_final)
        appendEscaped(&out, filter.final_part);
      break;
    case Filter::kExtensible:
      out += filter.attribute + ":=";
      appendEscaped(&out, filter.value);
      break;
    default:
      out += filter.attribute;
      out += filter.kind == Filter::kGreaterOrEqual ? ">="
             : filter.kind == Filter::kLessOrEqual  ? "<="
             : filter.kind == Filter::kApprox       ? "~="
                                                    : "=";
      appendEscaped(&out, filter.value);
      break;
  }
  return out + ")";
}

}  // namespace ombrel
