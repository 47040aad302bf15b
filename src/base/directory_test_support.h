// RecordingDirectory: the directory of unit tests. It records every request
// as one line of text and answers from a script, so that tests state the
// requests a step sends, and what it does with each answer, without a server:
//
//   bind DN                 search BASE base|one FILTER [ATTRIBUTE,...]
//   add DN ATTRIBUTE=[VALUE][VALUE] ...     delete DN
//   modify DN +ATTRIBUTE=[VALUE]... -ATTRIBUTE=[...] =ATTRIBUTE=[...]
//   rename DN NEWRDN SUPERIOR|- 0|1         extended OID VALUE
//   schema-names attributeTypes|objectClasses                  refresh
#ifndef KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_
#define KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/directory_requests.h"

class RecordingDirectory : public DirectoryRequests {
 public:
  // With `to`, a command's connection: sends everything on to `to`, which records and answers it.
  explicit RecordingDirectory(RecordingDirectory* to = nullptr) : to_(to) {}

  // Requests whose line starts with `prefix` answer `code` with `entries`;
  // the first rule that matches and has answers left wins (`times` < 0: any
  // number). Unmatched requests answer 0 without entries.
  void reply(std::string prefix, int code, std::vector<DirectoryEntry> entries = {},
             int times = -1) {
    rules_.emplace_back(std::move(prefix), code, std::move(entries), times);
  }

  std::vector<std::string> requests;
  std::map<SchemaElementKind, std::vector<std::string>> schemaNames;  // for readSchemaNames
  bool refusedCertificate = false;     // what certificateRefused answers
  std::string negotiationFailureText;  // what negotiationFailure answers

  bool certificateRefused() override { return target().refusedCertificate; }
  std::string negotiationFailure() override { return target().negotiationFailureText; }
  int bind(const std::string& dn, const std::string&) override { return send("bind " + dn); }
  int search(const std::string& base, SearchScope scope, const std::string& filter,
             const std::vector<std::string>& attributes,
             std::vector<DirectoryEntry>& entries) override {
    std::string line =
        "search " + base + (scope == SearchScope::kBase ? " base " : " one ") + filter;
    for (size_t i = 0; i < attributes.size(); ++i)
      line += (i == 0 ? " " : ",") + attributes[i];
    entries.clear();
    return send(line, &entries);
  }
  int add(const std::string& dn, LDAPMod** modifications) override {
    return send("add " + dn + render(modifications, false));
  }
  int modify(const std::string& dn, LDAPMod** modifications) override {
    return send("modify " + dn + render(modifications, true));
  }
  int remove(const std::string& dn) override { return send("delete " + dn); }
  int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
             bool deleteOldRdn) override {
    return send("rename " + dn + " " + newRdn + " " + (newSuperior ? newSuperior : "-") +
                (deleteOldRdn ? " 1" : " 0"));
  }
  int extendedOperation(const std::string& oid, const std::string& value) override {
    return send("extended " + oid + " " + value);
  }
  int readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) override {
    bool classes = kind == SchemaElementKind::kObjectClass;
    int code = send(std::string("schema-names ") + (classes ? "objectClasses" : "attributeTypes"));
    names = target().schemaNames[kind];
    return code;
  }
  int refreshServer() override { return send("refresh"); }

 protected:
  // Records `line` and answers it, filling `entries` of a search.
  virtual int answer(const std::string& line, std::vector<DirectoryEntry>* entries) {
    requests.push_back(line);
    for (auto& [prefix, code, answered, times] : rules_) {
      if (times == 0 || !line.starts_with(prefix))
        continue;
      times -= times > 0;
      if (entries != nullptr)
        *entries = answered;
      return code;
    }
    return 0;
  }

 private:
  RecordingDirectory& target() { return to_ != nullptr ? *to_ : *this; }
  int send(const std::string& line, std::vector<DirectoryEntry>* entries = nullptr) {
    return target().answer(line, entries);
  }

  static std::string render(LDAPMod** modifications, bool withOperation) {
    std::string text;
    for (LDAPMod** mod = modifications; mod != nullptr && *mod != nullptr; ++mod) {
      text += " ";
      if (withOperation)  // LDAP_MOD_ADD, LDAP_MOD_DELETE and LDAP_MOD_REPLACE are 0, 1 and 2
        text += "+-="[(*mod)->mod_op & ~LDAP_MOD_BVALUES];
      text += std::string((*mod)->mod_type) + "=";
      for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value)
        text += "[" + std::string((*value)->bv_val, (*value)->bv_len) + "]";
    }
    return text;
  }

  RecordingDirectory* to_;
  std::vector<std::tuple<std::string, int, std::vector<DirectoryEntry>, int>> rules_;  // see reply
};

// DirectoryTree: a RecordingDirectory that keeps entries, so that rm can run
// again over the directory an earlier run left. It takes rm's requests: a
// one-level search finds every entry under its base that has attributes,
// whatever the filter; a modification deletes one value. A missing base or
// entry answers 32, a value to delete that is not there 16. The request
// recorded as line `failAt` answers `failCode` and changes nothing.
class DirectoryTree : public RecordingDirectory {
 public:
  using Attributes = std::map<std::string, std::vector<std::string>>;
  std::map<std::string, Attributes> entries;  // by DN
  size_t failAt = SIZE_MAX;
  int failCode = 0;

 protected:
  int answer(const std::string& line, std::vector<DirectoryEntry>* found) override {
    requests.push_back(line);
    if (requests.size() == failAt + 1 || line.starts_with("bind"))
      return line.starts_with("bind") ? 0 : failCode;
    bool modify = line.starts_with("modify");
    size_t end = found ? line.find(" one ") : modify ? line.rfind(" -") : line.size();
    std::string dn = line.substr(7, end - 7);  // after "search ", "modify " or "delete "
    if (entries.count(dn) == 0)
      return LDAP_NO_SUCH_OBJECT;
    if (modify) {
      size_t value = line.find("=[", end);
      std::vector<std::string>& values = entries[dn][line.substr(end + 2, value - end - 2)];
      auto at =
          std::find(values.begin(), values.end(), line.substr(value + 2, line.size() - value - 3));
      if (at == values.end())
        return LDAP_NO_SUCH_ATTRIBUTE;
      values.erase(at);
      return 0;
    }
    if (found == nullptr) {  // a delete
      entries.erase(dn);
      return 0;
    }
    for (const auto& [name, attributes] : entries) {
      if (attributes.empty() || name.substr(name.find(',') + 1) != dn)
        continue;
      found->push_back({name, {}});
      for (const auto& [attribute, values] : attributes)
        found->back().attributes.push_back({attribute, values});
    }
    return 0;
  }
};

#endif  // KIVCONFIG_BASE_DIRECTORY_TEST_SUPPORT_H_
