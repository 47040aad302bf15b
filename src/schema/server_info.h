// What the bound directory server tells about itself in its root entry.
#ifndef KIVCONFIG_SCHEMA_SERVER_INFO_H_
#define KIVCONFIG_SCHEMA_SERVER_INFO_H_

#include <string>

#include "base/directory_requests.h"
#include "base/host.h"

// The result of readServerParameter when the root entry has no value for the
// attribute; not a result code.
constexpr int kNoServerParameter = 6999;

// Reads the first value of attribute `name` of the root entry (the empty DN)
// into `value`. Returns 0 when a value was read, kNoServerParameter when the
// entry has no value for it, -1 when the search returned no entry, or the
// LDAP result code of a failed search. Each outcome is logged.
int readServerParameter(DirectoryRequests& directory, Host& host, const char* name,
                        std::string& value);

// The number that starts at the first decimal digit of `text` ("8.7.3" gives
// 8.7, "x8.5" 8.5); 0 when there is no digit. Independent of the locale.
float parseServerVersion(const std::string& text);

// The server's version from its "vendorVersion"; 0 on any failure.
float readServerVersion(DirectoryRequests& directory, Host& host);

#endif  // KIVCONFIG_SCHEMA_SERVER_INFO_H_
