#include "directory/server_info.h"

#include <strings.h>

#include <cctype>
#include <charconv>

#include "cli/report.h"
#include "directory/ldap_error.h"
#include "directory/ldap_owners.h"
#include "directory/session.h"

float serverVersion = 0;

int readServerParameter(const char* name, std::string& value) {
  char* attributes[] = {const_cast<char*>(name), nullptr};
  LDAPMessage* raw = nullptr;
  int rc = ldapResultCode(ldap_search_s(directorySession(), "", LDAP_SCOPE_BASE, "(objectclass=*)",
                                        attributes, 0, &raw));
  LdapMessagePtr result(raw);
  if (rc != LDAP_SUCCESS) {
    writeLog(std::string("Getting ther LDAP Server parameter failed: ") + ldapErrorText(rc));
    return rc;
  }
  LDAPMessage* entry = result ? ldap_first_entry(directorySession(), result.get()) : nullptr;
  if (entry == nullptr) {
    writeLog("Unable to read the LDAP server parameter.");
    return -1;
  }
  bool found = false;
  BerElement* rawCursor = nullptr;
  for (char* attribute = ldap_first_attribute(directorySession(), entry, &rawCursor);
       attribute != nullptr && !found;
       attribute = ldap_next_attribute(directorySession(), entry, rawCursor)) {
    LdapStringPtr attributeOwner(attribute);
    if (strcasecmp(attribute, name) != 0)
      continue;
    LdapValuesPtr values(ldap_get_values(directorySession(), entry, attribute));
    if (values != nullptr && values.get()[0] != nullptr) {
      value = values.get()[0];
      found = true;
    }
  }
  BerCursorPtr cursor(rawCursor);
  if (!found) {
    writeLog(std::string("Unable to get the server parameter ") + name);
    return kNoServerParameter;
  }
  writeLog(std::string("LDAP server parameter ") + name + ": " + value);
  return 0;
}

float parseServerVersion(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && !isdigit(static_cast<unsigned char>(text[start])))
    ++start;
  float version = 0;
  std::from_chars(text.data() + start, text.data() + text.size(), version,
                  std::chars_format::fixed);
  return version;
}

void readServerVersion() {
  std::string text;
  serverVersion = readServerParameter("vendorVersion", text) == 0 ? parseServerVersion(text) : 0;
}
