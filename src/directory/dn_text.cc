#include "directory/dn_text.h"

#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

constexpr std::string_view kWorkstationName = "UNIX Workstation - ";

// The host name as the system holds it: at most HOST_NAME_MAX bytes.
constexpr size_t kHostNameBufferSize = HOST_NAME_MAX + 1;

}  // namespace

std::string escapeDnValue(std::string_view value) {
  std::string escaped;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    bool leading = i == 0 && (c == '#' || c == ' ');
    bool trailing = i + 1 == value.size() && c == ' ';
    if (c == '\0') {
      escaped += "\\00";
      continue;
    }
    if (leading || trailing || strchr(",+\"\\<>;=", c) != nullptr)
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string escapeFilterValue(std::string_view value) {
  std::string escaped;
  for (char c : value) {
    switch (c) {
      case '*':
        escaped += "\\2a";
        break;
      case '(':
        escaped += "\\28";
        break;
      case ')':
        escaped += "\\29";
        break;
      case '\\':
        escaped += "\\5c";
        break;
      case '\0':
        escaped += "\\00";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

int readShortHostName(Host& host, std::string& name) {
  int error = host.hostName(name);
  if (error != 0)
    return error;
  name = name.substr(0, name.find('.'));
  return 0;
}

std::string workstationDn(const std::string& shortHostName, const std::string& context) {
  std::string dn = "cn=" + std::string(kWorkstationName) + escapeDnValue(shortHostName);
  if (!context.empty())
    dn += "," + context;
  return dn;
}

std::string workstationFilter(const char* className, const std::string& shortHostName) {
  return std::string("(&(objectClass=") + className + ")(cn=" + std::string(kWorkstationName) +
         escapeFilterValue(shortHostName) + "))";
}
