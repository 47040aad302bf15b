#include "fault_rules.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>

#include "dn.h"
#include "result_codes.h"

namespace ombrel {
namespace {

bool parseNumber(const std::string& text, long* out) {
  if (text.empty())
    return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size() && *out >= 0;
}

bool isKnownOperation(const std::string& op) {
  for (const char* known :
       {"bind", "search", "add", "delete", "modify", "modrdn", "extended", "any"}) {
    if (op == known)
      return true;
  }
  return false;
}

std::string normalizedTarget(const std::string& operation, const std::string& target) {
  if (target == "*" || operation == "extended")
    return target;
  std::string ndn;
  return normalizeDn(target, &ndn) == kSuccess ? ndn : asciiLower(target);
}

}  // namespace

int parseFaultRule(const std::string& text, FaultRule* rule, std::string* error) {
  size_t first = text.find(':');
  if (first == std::string::npos) {
    *error = "rule \"" + text + "\" is not OPERATION:DN:CODE[:COUNT]";
    return -1;
  }
  std::string operation = asciiLower(text.substr(0, first));
  if (!isKnownOperation(operation)) {
    *error = "rule \"" + text + "\": unknown operation " + operation;
    return -1;
  }
  std::string rest = text.substr(first + 1);
  // The last one or two fields are numbers; try CODE:COUNT first.
  size_t last = rest.rfind(':');
  if (last == std::string::npos) {
    *error = "rule \"" + text + "\" has no result code";
    return -1;
  }
  long code = 0;
  long count = -1;
  std::string target = rest.substr(0, last);
  std::string tail = rest.substr(last + 1);
  size_t before = target.rfind(':');
  long maybe_code = 0;
  if (before != std::string::npos && parseNumber(target.substr(before + 1), &maybe_code) &&
      parseNumber(tail, &count)) {
    code = maybe_code;
    target = target.substr(0, before);
  } else if (!parseNumber(tail, &code)) {
    *error = "rule \"" + text + "\": result code is not a number";
    return -1;
  } else {
    count = -1;
  }
  if (code > 0x7fffffff || target.empty()) {
    *error = "rule \"" + text + "\": bad code or empty DN";
    return -1;
  }
  rule->operation = operation;
  rule->target = normalizedTarget(operation, target);
  rule->code = static_cast<int>(code);
  rule->remaining = count;
  return 0;
}

int loadFaultRules(const std::string& path, std::vector<FaultRule>* rules, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": " + std::strerror(errno);
    return -1;
  }
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line[start] == '#')
      continue;
    FaultRule rule;
    if (parseFaultRule(line.substr(start), &rule, error) != 0) {
      *error = path + ":" + std::to_string(number) + ": " + *error;
      return -1;
    }
    rules->push_back(rule);
  }
  return 0;
}

int takeFault(std::vector<FaultRule>* rules, const std::string& operation,
              const std::string& target) {
  std::string normalized = normalizedTarget(operation, target);
  for (FaultRule& rule : *rules) {
    if (rule.remaining == 0)
      continue;
    if (rule.operation != "any" && rule.operation != operation)
      continue;
    if (rule.target != "*" && rule.target != normalized &&
        !(operation == "extended" && rule.target == target)) {
      continue;
    }
    if (rule.remaining > 0)
      --rule.remaining;
    return rule.code;
  }
  return -1;
}

}  // namespace ombrel
