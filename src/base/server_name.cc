#include "base/server_name.h"

#include <arpa/inet.h>

#include <cstdio>

#include "base/log.h"

namespace {

constexpr size_t kMaxLabelLength = 63;

bool isLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool isLabel(const std::string& label) {
  if (label.empty() || label.size() > kMaxLabelLength || label.front() == '-' ||
      label.back() == '-') {
    return false;
  }
  for (char c : label) {
    if (!isLabelCharacter(c))
      return false;
  }
  return true;
}

bool isIpv4Address(const std::string& text) {
  in_addr address;
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool isBracketedIpv6Address(const std::string& text) {
  if (text.size() < 3 || text.front() != '[' || text.back() != ']')
    return false;
  in6_addr address;
  return inet_pton(AF_INET6, text.substr(1, text.size() - 2).c_str(), &address) == 1;
}

bool isHostName(const std::string& name) {
  if (name.empty() || name.size() > kMaxServerNameLength)
    return false;
  // "10.1.2" or "1.2.3.999" would be read as an address by some resolvers
  // and as a name by others.
  if (name.find_first_not_of("0123456789.") == std::string::npos)
    return false;
  size_t start = 0;
  for (;;) {
    size_t dot = name.find('.', start);
    if (!isLabel(name.substr(start, dot - start)))
      return false;
    if (dot == std::string::npos)
      return true;
    start = dot + 1;
  }
}

}  // namespace

bool isValidServerName(const std::string& name) {
  return isIpv4Address(name) || isBracketedIpv6Address(name) || isHostName(name);
}

void reportInvalidServerName(Host& host, const std::string& name) {
  printAndLog(
      host,
      "The LDAP server name \"%s\" is not valid: give a host name, an IPv4 address or an IPv6 "
      "address in brackets\n",
      printableText(name).c_str());
}
