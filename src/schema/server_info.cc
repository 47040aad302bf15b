#include "schema/server_info.h"

#include <cctype>
#include <charconv>

#include "base/ldap_error.h"
#include "base/log.h"

int readServerParameter(DirectoryRequests& directory, Host& host, const char* name,
                        std::string& value) {
  std::vector<DirectoryEntry> entries;
  int rc = directory.search("", SearchScope::kBase, "(objectclass=*)", {name}, entries);
  if (rc != 0) {
    host.log(std::string("Getting ther LDAP Server parameter failed: ") + ldapErrorText(rc));
    return rc;
  }
  if (entries.empty()) {
    host.log("Unable to read the LDAP server parameter.");
    return -1;
  }
  const std::vector<std::string>* values = entries.front().values(name);
  if (values == nullptr || values->empty()) {
    host.log(std::string("Unable to get the server parameter ") + name);
    return kNoServerParameter;
  }
  value = values->front();
  host.log(std::string("LDAP server parameter ") + name + ": " + withoutControlBytes(value));
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

float readServerVersion(DirectoryRequests& directory, Host& host) {
  std::string text;
  return readServerParameter(directory, host, "vendorVersion", text) == 0 ? parseServerVersion(text)
                                                                          : 0;
}
