// Schema definitions as field lists, and the field calls of the schema
// extension. Lists handed out are allocated with liblber's allocator, as
// ldap_get_values allocates them, so that ldap_value_free releases them.
#include "schema_element.h"

#include <ldap_schema.h>
#include <strings.h>

#include <memory>
#include <new>

namespace {

struct AttributeTypeFree {
  void operator()(LDAPAttributeType* type) const { ldap_attributetype_free(type); }
};
struct ObjectClassFree {
  void operator()(LDAPObjectClass* oc) const { ldap_objectclass_free(oc); }
};

std::vector<std::string> listOf(char** values) {
  std::vector<std::string> list;
  for (; values != nullptr && *values != nullptr; ++values) {
    list.emplace_back(*values);
  }
  return list;
}

class FieldList {
 public:
  explicit FieldList(std::vector<SchemaField>* fields) : fields_(fields) {}

  void addText(const char* name, const char* value) {
    if (value != nullptr) {
      fields_->push_back({name, {value}});
    }
  }
  void addList(const char* name, char** values) {
    if (values != nullptr && *values != nullptr) {
      fields_->push_back({name, listOf(values)});
    }
  }
  void addKeyword(const char* name, bool present) {
    if (present) {
      fields_->push_back({name, {}});
    }
  }
  void addExtensions(LDAPSchemaExtensionItem** extensions) {
    for (; extensions != nullptr && *extensions != nullptr; ++extensions) {
      fields_->push_back({(*extensions)->lsei_name, listOf((*extensions)->lsei_values)});
    }
  }

 private:
  std::vector<SchemaField>* fields_;
};

const char* usageName(int usage) {
  switch (usage) {
    case LDAP_SCHEMA_DIRECTORY_OPERATION:
      return "directoryOperation";
    case LDAP_SCHEMA_DISTRIBUTED_OPERATION:
      return "distributedOperation";
    case LDAP_SCHEMA_DSA_OPERATION:
      return "dSAOperation";
    default:
      return nullptr;
  }
}

const char* kindName(int kind) {
  switch (kind) {
    case LDAP_SCHEMA_ABSTRACT:
      return "ABSTRACT";
    case LDAP_SCHEMA_AUXILIARY:
      return "AUXILIARY";
    default:
      return "STRUCTURAL";
  }
}

int parseFailure(int schemaError) {
  return schemaError == LDAP_SCHERR_OUTOFMEM ? LDAP_NO_MEMORY : LDAP_DECODING_ERROR;
}

int parseAttributeType(const char* definition, std::vector<SchemaField>* fields) {
  int code = 0;
  const char* where = nullptr;
  std::unique_ptr<LDAPAttributeType, AttributeTypeFree> type(
      ldap_str2attributetype(definition, &code, &where, LDAP_SCHEMA_ALLOW_ALL));
  if (!type) {
    return parseFailure(code);
  }
  FieldList list(fields);
  list.addList("NAME", type->at_names);
  list.addText("DESC", type->at_desc);
  list.addKeyword("OBSOLETE", type->at_obsolete);
  list.addText("SUP", type->at_sup_oid);
  list.addText("EQUALITY", type->at_equality_oid);
  list.addText("ORDERING", type->at_ordering_oid);
  list.addText("SUBSTR", type->at_substr_oid);
  if (type->at_syntax_oid != nullptr) {
    std::string syntax = type->at_syntax_oid;
    if (type->at_syntax_len > 0) {
      syntax += "{" + std::to_string(type->at_syntax_len) + "}";
    }
    list.addText("SYNTAX", syntax.c_str());
  }
  list.addKeyword("SINGLE-VALUE", type->at_single_value);
  list.addKeyword("COLLECTIVE", type->at_collective);
  list.addKeyword("NO-USER-MODIFICATION", type->at_no_user_mod);
  list.addText("USAGE", usageName(type->at_usage));
  list.addExtensions(type->at_extensions);
  return 0;
}

int parseObjectClass(const char* definition, std::vector<SchemaField>* fields) {
  int code = 0;
  const char* where = nullptr;
  std::unique_ptr<LDAPObjectClass, ObjectClassFree> oc(
      ldap_str2objectclass(definition, &code, &where, LDAP_SCHEMA_ALLOW_ALL));
  if (!oc) {
    return parseFailure(code);
  }
  FieldList list(fields);
  list.addList("NAME", oc->oc_names);
  list.addText("DESC", oc->oc_desc);
  list.addKeyword("OBSOLETE", oc->oc_obsolete);
  list.addList("SUP", oc->oc_sup_oids);
  list.addKeyword(kindName(oc->oc_kind), true);
  list.addList("MUST", oc->oc_at_oids_must);
  list.addList("MAY", oc->oc_at_oids_may);
  list.addExtensions(oc->oc_extensions);
  return 0;
}

// A NULL-terminated copy that ldap_value_free releases.
template <typename Range, typename Text>
int makeValueList(const Range& items, Text text, char*** out) {
  char** list = static_cast<char**>(ber_memcalloc(items.size() + 1, sizeof(char*)));
  if (list == nullptr) {
    return LDAP_NO_MEMORY;
  }
  size_t index = 0;
  for (const auto& item : items) {
    list[index] = ber_strdup(text(item));
    if (list[index] == nullptr) {
      ber_memvfree(reinterpret_cast<void**>(list));
      return LDAP_NO_MEMORY;
    }
    ++index;
  }
  *out = list;
  return 0;
}

}  // namespace

int parseSchemaElement(int kind, const char* definition, LDAPSchemaElement* element) {
  if (definition == nullptr || element == nullptr) {
    return LDAP_PARAM_ERROR;
  }
  std::vector<SchemaField> fields;
  int rc = LDAP_PARAM_ERROR;
  try {
    if (kind == LDAP_SCHEMA_ATTRIBUTE_TYPE) {
      rc = parseAttributeType(definition, &fields);
    } else if (kind == LDAP_SCHEMA_OBJECT_CLASS) {
      rc = parseObjectClass(definition, &fields);
    }
  } catch (const std::bad_alloc&) {
    return LDAP_NO_MEMORY;
  }
  if (rc == 0) {
    element->fields = std::move(fields);
  }
  return rc;
}

extern "C" int ldap_schema_get_field_names(LDAPSchemaElement* element, char*** names) {
  if (element == nullptr || names == nullptr) {
    return LDAP_PARAM_ERROR;
  }
  return makeValueList(
      element->fields, [](const SchemaField& field) { return field.name.c_str(); }, names);
}

extern "C" int ldap_schema_get_field_values(LDAPSchemaElement* element, const char* name,
                                            char*** values) {
  if (element == nullptr || name == nullptr || values == nullptr) {
    return LDAP_PARAM_ERROR;
  }
  for (const SchemaField& field : element->fields) {
    if (strcasecmp(field.name.c_str(), name) == 0) {
      return makeValueList(
          field.values, [](const std::string& value) { return value.c_str(); }, values);
    }
  }
  return LDAP_NO_SUCH_ATTRIBUTE;
}
