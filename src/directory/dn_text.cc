#include "directory/dn_text.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/result_codes.h"

namespace {

constexpr std::string_view kWorkstationName = "UNIX Workstation - ";

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

bool canBeDn(const std::string& value) {
  return value.find('\0') == std::string::npos;
}

int readShortHostName(Host& host, const char* failureText, std::string& name) {
  std::string full;
  int error = host.hostName(full);
  if (error != 0) {
    errno = error;
    perror(failureText);
    return -1;
  }
  name = full.substr(0, full.find('.'));
  if (!name.empty())
    return 0;
  // "cn=UNIX Workstation - " alone would name no host, and rm's filter
  // would match it for every host.
  printAndLog(host, "The host name \"%s\" has no short name before its first dot\n",
              printableText(full).c_str());
  return kAlreadyReported;
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
