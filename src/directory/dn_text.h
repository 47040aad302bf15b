// Values placed into DNs and search filters, and the host's short name.
#ifndef KIVCONFIG_DIRECTORY_DN_TEXT_H_
#define KIVCONFIG_DIRECTORY_DN_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/host.h"

// `value` escaped for an attribute value of a DN: "," "+" "\"" "\\" "<" ">"
// ";" "=" with a backslash, a leading "#" or space and a trailing space too,
// NUL as "\00". Everything else is kept as it is (UTF-8 included).
std::string escapeDnValue(std::string_view value);

// `value` escaped for an assertion value of a search filter: "*" "(" ")"
// "\\" and NUL as "\2a" "\28" "\29" "\5c" "\00".
std::string escapeFilterValue(std::string_view value);

// Whether `value`, read back from the directory, can be a DN at all: a value
// holding a NUL byte cannot, and is treated as a DN in invalid syntax.
bool canBeDn(const std::string& value);

// The system's host name cut at its first ".". Returns 0; -1 after printing
// `failureText` with the system's error when the system cannot tell it;
// -5999 after printing and logging that the name has nothing before its
// first dot.
int readShortHostName(Host& host, const char* failureText, std::string& name);

// The workstation DN: "cn=UNIX Workstation - <escaped short name>", followed
// by "," and `context` when that is not empty.
std::string workstationDn(const std::string& shortHostName, const std::string& context);

// The own filter of the host's Workstation object under class `className`:
// "(&(objectClass=<class>)(cn=UNIX Workstation - <escaped short name>))".
std::string workstationFilter(const char* className, const std::string& shortHostName);

#endif  // KIVCONFIG_DIRECTORY_DN_TEXT_H_
