// The directory: the entry tree, its schema and the server's own
// information, with the LDAP operations on them.
//
// Every operation takes the directory as it is (the caller holds the one
// lock), returns an LDAP result code and fills *result; a failed operation
// changes nothing. Access rights are the caller's business: these functions
// only apply the data and schema rules. Two entries are virtual: the root
// DSE (the empty DN) and the schema entry "cn=schema"; only the schema entry
// can be modified, which changes the schema itself.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "entry.h"
#include "filter.h"
#include "result_codes.h"
#include "schema.h"

namespace ombrel {

inline constexpr const char* kSchemaDn = "cn=schema";
inline constexpr const char* kIndexCompletionOid = "1.3.6.1.4.1.32473.1.27.100.49";
inline constexpr const char* kSchemaRefreshOid = "1.3.6.1.4.1.32473.1.27.100.7";

struct Directory {
  Schema schema;
  std::map<std::string, Entry> entries;                   // by normalised DN
  std::map<std::string, std::set<std::string>> children;  // parent ndn ("" = top) -> ndns
  std::optional<std::string> vendor_version;
  std::string server_dn;  // the dsaName value; empty for none
};

struct Change {
  enum Op { kAdd = 0, kDelete = 1, kReplace = 2 };
  Op op = kAdd;
  std::string type;
  std::vector<std::string> values;
};

enum Scope { kScopeBase = 0, kScopeOneLevel = 1, kScopeSubtree = 2 };

struct SearchParams {
  std::string base;
  int scope = kScopeBase;
  Filter filter;
  std::vector<std::string> attributes;  // empty: all user attributes
  bool types_only = false;
  long size_limit = 0;  // 0: no limit
};

struct FoundEntry {
  std::string dn;
  std::vector<Attribute> attributes;
};

int addEntry(Directory* dir, const std::string& dn, const std::vector<Attribute>& attributes,
             OpResult* result);
int deleteEntry(Directory* dir, const std::string& dn, OpResult* result);
int renameEntry(Directory* dir, const std::string& dn, const std::string& new_rdn,
                bool delete_old_rdn, const std::optional<std::string>& new_superior,
                OpResult* result);
int modifyEntry(Directory* dir, const std::string& dn, const std::vector<Change>& changes,
                OpResult* result);
int searchDirectory(const Directory& dir, const SearchParams& params,
                    std::vector<FoundEntry>* found, OpResult* result);
// Simple-bind check of a DN and password against the entry's userPassword.
// kSuccess with *ndn set, kInvalidDnSyntax or kInvalidCredentials.
int checkCredentials(const Directory& dir, const std::string& dn, const std::string& password,
                     std::string* ndn);

// Makes sure the server entry named by dir->server_dn exists, creating it as
// a "vrdServer" under its parent when it does not.
int ensureServerEntry(Directory* dir, OpResult* result);

// Shared by the write operations.
int checkEntrySchema(const Directory& dir, const Entry& entry, OpResult* result);
int checkContainment(const Directory& dir, const Entry& entry, const std::string& parent_ndn,
                     OpResult* result);
std::string matchedAncestor(const Directory& dir, const std::string& dn);
// Appends values of type to attr, refusing (21) values that break the
// type's syntax and (20) values equal to one already there or given twice.
int appendValues(const Schema& schema, const std::string& type,
                 const std::vector<std::string>& values, Attribute* attr, OpResult* result);

}  // namespace ombrel
