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

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
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

// DirectoryTree: a RecordingDirectory that keeps entries, so that a command
// can run again over the directory an earlier run left. Searches (base or
// one level) take "(&(objectclass=C)(cn=N))", N ending in "*" for a prefix,
// and match all else; modify adds and deletes values. A missing base or
// entry answers 32, a value to delete that is not there 16. The search,
// modify or delete recorded as line `failAt` answers `failCode` and changes
// nothing.
class DirectoryTree : public RecordingDirectory {
 public:
  using Attributes = std::map<std::string, std::vector<std::string>>;  // lower-case names
  std::map<std::string, Attributes> entries;                           // by DN
  size_t failAt = SIZE_MAX;
  int failCode = 0;

  int search(const std::string& base, SearchScope scope, const std::string& filter,
             const std::vector<std::string>& attributes,
             std::vector<DirectoryEntry>& found) override {
    RecordingDirectory::search(base, scope, filter, attributes, found);
    if (failing() || entries.count(base) == 0)
      return failing() ? failCode : LDAP_NO_SUCH_OBJECT;
    size_t middle = filter.find(")(cn=");  // "(&(objectclass=C)(cn=N))"
    bool all =
        strncasecmp(filter.c_str(), "(&(objectclass=", 15) != 0 || middle == std::string::npos;
    std::string objectClass = all ? "" : filter.substr(15, middle - 15);
    std::string cn = all ? "" : filter.substr(middle + 5, filter.size() - middle - 7);
    for (const auto& [dn, values] : entries) {
      std::string parent = dn.find(',') == std::string::npos ? "" : dn.substr(dn.find(',') + 1);
      if ((scope == SearchScope::kBase ? dn == base : parent == base) &&
          (all || (holds(values, "objectclass", objectClass) && holds(values, "cn", cn)))) {
        found.push_back({dn, {}});
        for (const auto& [name, list] : values)
          found.back().attributes.push_back({name, list});
      }
    }
    return 0;
  }
  int modify(const std::string& dn, LDAPMod** modifications) override {
    RecordingDirectory::modify(dn, modifications);
    if (failing() || entries.count(dn) == 0)
      return failing() ? failCode : LDAP_NO_SUCH_OBJECT;
    Attributes changed = entries[dn];
    for (LDAPMod** mod = modifications; *mod != nullptr; ++mod) {
      std::string name = (*mod)->mod_type;
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      std::vector<std::string>& values = changed[name];
      for (berval** value = (*mod)->mod_bvalues; *value != nullptr; ++value) {
        std::string text((*value)->bv_val, (*value)->bv_len);
        auto at = std::find(values.begin(), values.end(), text);
        if (((*mod)->mod_op & ~LDAP_MOD_BVALUES) == LDAP_MOD_ADD)
          values.push_back(text);
        else if (at == values.end())
          return LDAP_NO_SUCH_ATTRIBUTE;
        else
          values.erase(at);
      }
    }
    std::erase_if(changed, [](const auto& attribute) { return attribute.second.empty(); });
    entries[dn] = changed;
    return 0;
  }
  int remove(const std::string& dn) override {
    RecordingDirectory::remove(dn);
    return failing() ? failCode : entries.erase(dn) != 0 ? 0 : LDAP_NO_SUCH_OBJECT;
  }

 private:
  bool failing() const { return requests.size() == failAt + 1; }

  static bool holds(const Attributes& attributes, const char* name, std::string wanted) {
    auto values = attributes.find(name);
    bool prefix = !wanted.empty() && wanted.back() == '*';
    wanted.resize(wanted.size() - prefix);
    return values != attributes.end() &&
           std::any_of(values->second.begin(), values->second.end(), [&](const std::string& value) {
             return strncasecmp(value.c_str(), wanted.c_str(), wanted.size()) == 0 &&
                    (prefix || value.size() == wanted.size());
           });
  }
};

#endif  // KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_
