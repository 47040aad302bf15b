// Fault injection for tests: rules that make a chosen operation on a chosen
// DN answer a chosen result code instead of being carried out.
//
// A rule reads "OPERATION:DN:CODE" or "OPERATION:DN:CODE:COUNT"; OPERATION
// is bind, search, add, delete, modify, modrdn, extended or any; DN is
// compared after normalisation, "*" matches every DN, and for extended the
// DN field holds the request OID. COUNT limits how often the rule fires.
// The DN may itself contain ":", so CODE and COUNT are taken from the end.
#pragma once

#include <string>
#include <vector>

namespace ombrel {

struct FaultRule {
  std::string operation;  // lower case
  std::string target;     // normalised DN, an OID, or "*"
  int code = 0;
  long remaining = -1;  // -1: unlimited
};

// 0, or -1 with a reason in *error.
int parseFaultRule(const std::string& text, FaultRule* rule, std::string* error);
// Reads one rule per line; blank lines and lines starting with "#" are skipped.
int loadFaultRules(const std::string& path, std::vector<FaultRule>* rules, std::string* error);

// The code of the first rule that matches, counting it as fired; -1 when
// none does. The caller holds the directory lock.
int takeFault(std::vector<FaultRule>* rules, const std::string& operation,
              const std::string& target);

}  // namespace ombrel
