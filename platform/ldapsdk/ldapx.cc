// Schema access and server refresh on a bound libldap session.
#include "ldapx.h"

#include <ldap.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "schema_element.h"

struct LDAPSchema {
  std::vector<LDAPSchemaElement> attributeTypes;
  std::vector<LDAPSchemaElement> objectClasses;
};

namespace {

constexpr char kDefaultSubschemaDn[] = "cn=schema";
constexpr char kRefreshServerOid[] = "1.3.6.1.4.1.32473.1.27.100.7";

struct MessageFree {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
struct ValuesFree {
  void operator()(berval** values) const { ldap_value_free_len(values); }
};
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;
using ValuesPtr = std::unique_ptr<berval*[], ValuesFree>;

// Reads the one entry at `dn` with `attributes`. Returns 0 and sets *result
// and *entry (owned by *result), or an LDAP result code.
int readEntry(LDAP* ld, const char* dn, const char** attributes, MessagePtr* result,
              LDAPMessage** entry) {
  LDAPMessage* raw = nullptr;
  int rc =
      ldap_search_ext_s(ld, dn, LDAP_SCOPE_BASE, "(objectClass=*)", const_cast<char**>(attributes),
                        0, nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &raw);
  result->reset(raw);
  if (rc != LDAP_SUCCESS) {
    return rc;
  }
  *entry = ldap_first_entry(ld, raw);
  return *entry == nullptr ? LDAP_NO_SUCH_OBJECT : 0;
}

// The subschema entry named by the root DSE, or "cn=schema" when it names
// none or may not be read.
int findSubschemaDn(LDAP* ld, std::string* dn) {
  const char* attributes[] = {"subschemaSubentry", nullptr};
  MessagePtr result;
  LDAPMessage* entry = nullptr;
  int rc = readEntry(ld, "", attributes, &result, &entry);
  if (rc == LDAP_NO_SUCH_OBJECT || rc == LDAP_INSUFFICIENT_ACCESS) {
    *dn = kDefaultSubschemaDn;
    return 0;
  }
  if (rc != 0) {
    return rc;
  }
  ValuesPtr values(ldap_get_values_len(ld, entry, "subschemaSubentry"));
  if (values && values[0] != nullptr && values[0]->bv_len > 0) {
    dn->assign(values[0]->bv_val, values[0]->bv_len);
  } else {
    *dn = kDefaultSubschemaDn;
  }
  return 0;
}

// Definitions that do not parse are left out: one odd vendor value must not
// hide the rest of the schema.
void collectElements(LDAP* ld, LDAPMessage* entry, const char* attribute, int kind,
                     std::vector<LDAPSchemaElement>* elements) {
  ValuesPtr values(ldap_get_values_len(ld, entry, attribute));
  for (size_t i = 0; values && values[i] != nullptr; ++i) {
    std::string definition(values[i]->bv_val, values[i]->bv_len);
    LDAPSchemaElement element;
    if (parseSchemaElement(kind, definition.c_str(), &element) == 0) {
      elements->push_back(std::move(element));
    }
  }
}

const std::vector<LDAPSchemaElement>* elementsOf(const LDAPSchema* schema, int kind) {
  if (schema == nullptr) {
    return nullptr;
  }
  if (kind == LDAP_SCHEMA_ATTRIBUTE_TYPE) {
    return &schema->attributeTypes;
  }
  if (kind == LDAP_SCHEMA_OBJECT_CLASS) {
    return &schema->objectClasses;
  }
  return nullptr;
}

int fetchSchema(LDAP* ld, LDAPSchema* schema) {
  std::string dn;
  int rc = findSubschemaDn(ld, &dn);
  if (rc != 0) {
    return rc;
  }
  const char* attributes[] = {"attributeTypes", "objectClasses", nullptr};
  MessagePtr result;
  LDAPMessage* entry = nullptr;
  rc = readEntry(ld, dn.c_str(), attributes, &result, &entry);
  if (rc != 0) {
    return rc;
  }
  collectElements(ld, entry, "attributeTypes", LDAP_SCHEMA_ATTRIBUTE_TYPE, &schema->attributeTypes);
  collectElements(ld, entry, "objectClasses", LDAP_SCHEMA_OBJECT_CLASS, &schema->objectClasses);
  return 0;
}

}  // namespace

extern "C" int ldap_schema_fetch(LDAP* ld, LDAPSchema** schema, void* reserved) {
  if (ld == nullptr || schema == nullptr || reserved != nullptr) {
    return LDAP_PARAM_ERROR;
  }
  try {
    auto fetched = std::make_unique<LDAPSchema>();
    int rc = fetchSchema(ld, fetched.get());
    if (rc != 0) {
      return rc;
    }
    *schema = fetched.release();
    return 0;
  } catch (const std::bad_alloc&) {
    return LDAP_NO_MEMORY;
  }
}

extern "C" int ldap_schema_get_count(LDAPSchema* schema, int kind) {
  const std::vector<LDAPSchemaElement>* elements = elementsOf(schema, kind);
  return elements == nullptr ? -1 : static_cast<int>(elements->size());
}

extern "C" int ldap_schema_get_by_index(LDAPSchema* schema, int index, int kind,
                                        LDAPSchemaElement** element) {
  const std::vector<LDAPSchemaElement>* elements = elementsOf(schema, kind);
  if (elements == nullptr || element == nullptr || index < 0 ||
      static_cast<size_t>(index) >= elements->size()) {
    return LDAP_PARAM_ERROR;
  }
  *element = const_cast<LDAPSchemaElement*>(&(*elements)[index]);
  return 0;
}

extern "C" void ldap_schema_free(LDAPSchema* schema) {
  delete schema;
}

extern "C" int ldap_refresh_server(LDAP* ld) {
  if (ld == nullptr) {
    return LDAP_PARAM_ERROR;
  }
  char* responseOid = nullptr;
  berval* responseValue = nullptr;
  int rc = ldap_extended_operation_s(ld, kRefreshServerOid, nullptr, nullptr, nullptr, &responseOid,
                                     &responseValue);
  ldap_memfree(responseOid);
  ber_bvfree(responseValue);
  return rc;
}
