// RecordingDirectory: the directory of unit tests. It records every request
// as one line of text and answers from a script, so that tests state the
// requests a step sends, and what it does with each answer, without a server.
//
// Request lines:
//   bind DN
//   search BASE base|one FILTER [ATTRIBUTE,...]
//   add DN ATTRIBUTE=[VALUE][VALUE] ...
//   modify DN +ATTRIBUTE=[VALUE]... -ATTRIBUTE=[...] =ATTRIBUTE=[...]
//   delete DN
//   rename DN NEWRDN SUPERIOR|- 0|1
//   extended OID VALUE
//   schema-names attributeTypes|objectClasses
//   refresh
#ifndef KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_
#define KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/directory_requests.h"

class RecordingDirectory : public DirectoryRequests {
 public:
  // Requests whose line starts with `prefix` answer `code` with `entries`;
  // the first rule that matches and has answers left wins (`times` < 0: any
  // number). Unmatched requests answer 0 without entries.
  void reply(std::string prefix, int code, std::vector<DirectoryEntry> entries = {},
             int times = -1) {
    rules_.push_back({std::move(prefix), code, std::move(entries), times});
  }

  // The names readSchemaNames lists for `kind`.
  std::map<SchemaElementKind, std::vector<std::string>> schemaNames;

  std::vector<std::string> requests;

  // What certificateRefused answers.
  bool refusedCertificate = false;
  bool certificateRefused() override { return refusedCertificate; }
  // What negotiationFailure answers.
  std::string negotiationFailureText;
  std::string negotiationFailure() override { return negotiationFailureText; }

  int bind(const std::string& dn, const std::string&) override { return answer("bind " + dn); }

  int search(const std::string& base, SearchScope scope, const std::string& filter,
             const std::vector<std::string>& attributes,
             std::vector<DirectoryEntry>& entries) override {
    std::string line =
        "search " + base + (scope == SearchScope::kBase ? " base " : " one ") + filter;
    if (!attributes.empty()) {
      line += " ";
      for (size_t i = 0; i < attributes.size(); ++i)
        line += (i == 0 ? "" : ",") + attributes[i];
    }
    return answer(line, &entries);
  }

  int add(const std::string& dn, LDAPMod** modifications) override {
    return answer("add " + dn + render(modifications, false));
  }
  int modify(const std::string& dn, LDAPMod** modifications) override {
    return answer("modify " + dn + render(modifications, true));
  }
  int remove(const std::string& dn) override { return answer("delete " + dn); }
  int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
             bool deleteOldRdn) override {
    return answer("rename " + dn + " " + newRdn + " " + (newSuperior ? newSuperior : "-") +
                  (deleteOldRdn ? " 1" : " 0"));
  }
  int extendedOperation(const std::string& oid, const std::string& value) override {
    return answer("extended " + oid + " " + value);
  }
  int readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) override {
    bool classes = kind == SchemaElementKind::kObjectClass;
    int code =
        answer(std::string("schema-names ") + (classes ? "objectClasses" : "attributeTypes"));
    names = schemaNames[kind];
    return code;
  }
  int refreshServer() override { return answer("refresh"); }

 private:
  struct Rule {
    std::string prefix;
    int code;
    std::vector<DirectoryEntry> entries;
    int times;
  };

  int answer(const std::string& line, std::vector<DirectoryEntry>* entries = nullptr) {
    requests.push_back(line);
    if (entries != nullptr)
      entries->clear();
    for (Rule& rule : rules_) {
      if (rule.times == 0 || line.compare(0, rule.prefix.size(), rule.prefix) != 0)
        continue;
      if (rule.times > 0)
        --rule.times;
      if (entries != nullptr)
        *entries = rule.entries;
      return rule.code;
    }
    return 0;
  }

  static std::string render(LDAPMod** modifications, bool withOperation) {
    std::string text;
    for (LDAPMod** mod = modifications; mod != nullptr && *mod != nullptr; ++mod) {
      text += " ";
      if (withOperation) {
        int operation = (*mod)->mod_op & ~LDAP_MOD_BVALUES;
        text += operation == LDAP_MOD_ADD ? "+" : operation == LDAP_MOD_DELETE ? "-" : "=";
      }
      text += (*mod)->mod_type;
      text += "=";
      if ((*mod)->mod_op & LDAP_MOD_BVALUES) {
        for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value)
          text += "[" + std::string((*value)->bv_val, (*value)->bv_len) + "]";
      } else {
        for (char** value = (*mod)->mod_values; value != nullptr && *value != nullptr; ++value)
          text += "[" + std::string(*value) + "]";
      }
    }
    return text;
  }

  std::vector<Rule> rules_;
};

#endif  // KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_
