// The directory requests of DirectorySession over libldap and the SDK's
// extensions. Every code libldap answers passes through ldapResultCode here.
#include <strings.h>

#include <cstdio>
#include <memory>

#include "base/ldap_error.h"
#include "directory/ldap_owners.h"
#include "directory/ldap_session.h"
#include "ldapx.h"

namespace {

struct SchemaRelease {
  void operator()(LDAPSchema* schema) const { ldap_schema_free(schema); }
};
using SchemaPtr = std::unique_ptr<LDAPSchema, SchemaRelease>;

DirectoryEntry readEntry(LDAP* handle, LDAPMessage* message) {
  DirectoryEntry entry;
  LdapStringPtr dn(ldap_get_dn(handle, message));
  if (dn != nullptr)
    entry.dn = dn.get();
  BerElement* rawCursor = nullptr;
  char* rawName = ldap_first_attribute(handle, message, &rawCursor);
  BerCursorPtr cursor(rawCursor);
  for (; rawName != nullptr; rawName = ldap_next_attribute(handle, message, cursor.get())) {
    LdapStringPtr name(rawName);
    DirectoryAttribute attribute{name.get(), {}};
    BervalsPtr values(ldap_get_values_len(handle, message, name.get()));
    for (berval** value = values.get(); value != nullptr && *value != nullptr; ++value)
      attribute.values.emplace_back((*value)->bv_val, (*value)->bv_len);
    entry.attributes.push_back(std::move(attribute));
  }
  return entry;
}

// The first NAME of `element`; empty when it has none. Prints the SDK's
// failure and returns its code.
int firstName(LDAPSchemaElement* element, std::string& name) {
  char** rawFields = nullptr;
  int rc = ldap_schema_get_field_names(element, &rawFields);
  if (rc != 0) {
    printf("Error in function ldap_schema_get_field_names: %s(%d)", ldapErrorText(rc), rc);
    return rc;
  }
  LdapValuesPtr fields(rawFields);
  for (char** field = fields.get(); field != nullptr && *field != nullptr; ++field) {
    if (strcasecmp(*field, "NAME") != 0)
      continue;
    char** rawValues = nullptr;
    rc = ldap_schema_get_field_values(element, *field, &rawValues);
    if (rc != 0) {
      printf("Error in function ldap_schema_get_field_values: %s(%d)", ldapErrorText(rc), rc);
      return rc;
    }
    LdapValuesPtr values(rawValues);
    if (values != nullptr && values.get()[0] != nullptr) {
      name = values.get()[0];
      return 0;
    }
  }
  return 0;
}

// The NULL-terminated attribute list of a search; libldap does not change it.
std::vector<char*> attributeList(const std::vector<std::string>& attributes) {
  std::vector<char*> names;
  for (const std::string& attribute : attributes)
    names.push_back(const_cast<char*>(attribute.c_str()));
  names.push_back(nullptr);
  return names;
}

}  // namespace

int DirectorySession::bind(const std::string& dn, const std::string& password) {
  return ldapResultCode(ldap_simple_bind_s(handle_, dn.c_str(), password.c_str()));
}

int DirectorySession::search(const std::string& base, SearchScope scope, const std::string& filter,
                             const std::vector<std::string>& attributes,
                             std::vector<DirectoryEntry>& entries) {
  entries.clear();
  std::vector<char*> names = attributeList(attributes);
  LDAPMessage* raw = nullptr;
  int rc = ldapResultCode(ldap_search_ext_s(handle_, base.c_str(), static_cast<int>(scope),
                                            filter.empty() ? nullptr : filter.c_str(),
                                            attributes.empty() ? nullptr : names.data(), 0, nullptr,
                                            nullptr, nullptr, LDAP_NO_LIMIT, &raw));
  LdapMessagePtr result(raw);
  for (LDAPMessage* entry = result ? ldap_first_entry(handle_, result.get()) : nullptr;
       entry != nullptr; entry = ldap_next_entry(handle_, entry)) {
    entries.push_back(readEntry(handle_, entry));
  }
  return rc;
}

int DirectorySession::searchFirst(const std::string& base, SearchScope scope,
                                  const std::string& filter,
                                  const std::vector<std::string>& attributes,
                                  std::optional<DirectoryEntry>& first) {
  first.reset();
  std::vector<char*> names = attributeList(attributes);
  int messageId = 0;
  int rc = ldap_search_ext(handle_, base.c_str(), static_cast<int>(scope),
                           filter.empty() ? nullptr : filter.c_str(),
                           attributes.empty() ? nullptr : names.data(), 0, nullptr, nullptr,
                           nullptr, LDAP_NO_LIMIT, &messageId);
  if (rc != LDAP_SUCCESS)
    return ldapResultCode(rc);
  timeval limit = kOperationTimeout;
  for (;;) {
    LDAPMessage* raw = nullptr;
    int type = ldap_result(handle_, messageId, LDAP_MSG_ONE, &limit, &raw);
    LdapMessagePtr message(raw);
    if (type == 0)
      return LDAP_TIMEOUT;
    if (type < 0) {
      int error = LDAP_OTHER;
      ldap_get_option(handle_, LDAP_OPT_RESULT_CODE, &error);
      return ldapResultCode(error);
    }
    if (type == LDAP_RES_SEARCH_ENTRY && !first) {
      first = readEntry(handle_, message.get());
    } else if (type == LDAP_RES_SEARCH_RESULT) {
      int result = LDAP_OTHER;
      rc =
          ldap_parse_result(handle_, message.get(), &result, nullptr, nullptr, nullptr, nullptr, 0);
      return ldapResultCode(rc != LDAP_SUCCESS ? rc : result);
    }
  }
}

int DirectorySession::add(const std::string& dn, LDAPMod** modifications) {
  return ldapResultCode(ldap_add_ext_s(handle_, dn.c_str(), modifications, nullptr, nullptr));
}

int DirectorySession::modify(const std::string& dn, LDAPMod** modifications) {
  return ldapResultCode(ldap_modify_ext_s(handle_, dn.c_str(), modifications, nullptr, nullptr));
}

int DirectorySession::remove(const std::string& dn) {
  return ldapResultCode(ldap_delete_ext_s(handle_, dn.c_str(), nullptr, nullptr));
}

int DirectorySession::rename(const std::string& dn, const std::string& newRdn,
                             const char* newSuperior, bool deleteOldRdn) {
  return ldapResultCode(ldap_rename_s(handle_, dn.c_str(), newRdn.c_str(), newSuperior,
                                      deleteOldRdn ? 1 : 0, nullptr, nullptr));
}

int DirectorySession::extendedOperation(const std::string& oid, const std::string& value) {
  berval request = {value.size(), const_cast<char*>(value.data())};
  char* rawName = nullptr;
  berval* rawValue = nullptr;
  int rc = ldapResultCode(ldap_extended_operation_s(handle_, oid.c_str(), &request, nullptr,
                                                    nullptr, &rawName, &rawValue));
  LdapStringPtr responseName(rawName);
  ber_bvfree(rawValue);
  return rc;
}

int DirectorySession::readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) {
  names.clear();
  LDAPSchema* raw = nullptr;
  int rc = ldap_schema_fetch(handle_, &raw, nullptr);
  if (rc != 0) {
    printf("Error in function ldap_schema_fetch: %s\n", ldapErrorText(rc));
    return rc;
  }
  SchemaPtr schema(raw);
  int sdkKind = static_cast<int>(kind);
  int count = ldap_schema_get_count(schema.get(), sdkKind);
  for (int index = 0; index < count; ++index) {
    LDAPSchemaElement* element = nullptr;
    rc = ldap_schema_get_by_index(schema.get(), index, sdkKind, &element);
    if (rc != 0) {
      printf("Error in function ldap_schema_get_by_index: %s(%d)", ldapErrorText(rc), rc);
      return rc;
    }
    std::string name;
    rc = firstName(element, name);
    if (rc != 0)
      return rc;
    names.push_back(std::move(name));
  }
  return 0;
}

int DirectorySession::refreshServer() {
  return ldapResultCode(ldap_refresh_server(handle_));
}
