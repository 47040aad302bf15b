// What the bound directory server tells about itself in its root entry.
#ifndef KIVCONFIG_DIRECTORY_SERVER_INFO_H_
#define KIVCONFIG_DIRECTORY_SERVER_INFO_H_

#include <string>

// The server's version from its "vendorVersion", 0 when none was read. Set by
// the add driver, read by the schema steps.
extern float serverVersion;

// The result of readServerParameter when the root entry has no value for the
// attribute; not a result code.
constexpr int kNoServerParameter = 6999;

// Reads the first value of attribute `name` of the root entry (the empty DN)
// into `value`. Returns 0 when a value was read, kNoServerParameter when the
// entry has no value for it, -1 when the search returned no entry, or the
// LDAP result code of a failed search. Each outcome is logged.
int readServerParameter(const char* name, std::string& value);

// The number that starts at the first decimal digit of `text` ("8.7.3" gives
// 8.7, "x8.5" 8.5); 0 when there is no digit. Independent of the locale.
float parseServerVersion(const std::string& text);

// Reads "vendorVersion" and sets serverVersion from it; 0 on any failure.
void readServerVersion();

#endif  // KIVCONFIG_DIRECTORY_SERVER_INFO_H_
