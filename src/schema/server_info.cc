#include "schema/server_info.h"

#include <cctype>
#include <charconv>

#include "base/ldap_error.h"
#include "base/log.h"
#include "base/run_settings.h"

int readServerParameter(DirectoryRequests& directory, const char* name, std::string& value) {
  std::vector<DirectoryEntry> entries;
  int rc = directory.search("", SearchScope::kBase, "(objectclass=*)", {name}, entries);
  if (rc != 0) {
    writeLog(std::string("Getting ther LDAP Server parameter failed: ") + ldapErrorText(rc));
    return rc;
  }
  if (entries.empty()) {
    writeLog("Unable to read the LDAP server parameter.");
    return -1;
  }
  const std::vector<std::string>* values = entries.front().values(name);
  if (values == nullptr || values->empty()) {
    writeLog(std::string("Unable to get the server parameter ") + name);
    return kNoServerParameter;
  }
  value = values->front();
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

void readServerVersion(DirectoryRequests& directory) {
  std::string text;
  runSettings.serverVersion =
      readServerParameter(directory, "vendorVersion", text) == 0 ? parseServerVersion(text) : 0;
}
