// The directory server's name as the user gives it (-S, the server prompt,
// set preferred-server=). The name travels into the store, into the SSL
// layer's URI and into the certificate file's name, so only plain names
// pass.
#ifndef KIVCONFIG_BASE_SERVER_NAME_H_
#define KIVCONFIG_BASE_SERVER_NAME_H_

#include <string>

#include "base/host.h"

// True for
//   - a host name: labels of 1 to 63 letters, digits, '-' and '_' joined by
//     single dots, no label beginning or ending with '-', at most
//     kMaxServerNameLength bytes; a name of digits and dots only must be an
//     IPv4 address;
//   - an IPv4 address in dotted-quad form ("192.0.2.7");
//   - an IPv6 address in brackets ("[2001:db8::7]"), without a zone.
// The port that may follow the name is not part of it.
bool isValidServerName(const std::string& name);

// ".<name>.der" must fit the 255 bytes of a file name.
constexpr size_t kMaxServerNameLength = 250;

// Prints and logs that `name` is refused, naming it with every byte outside
// printable ASCII written as \xNN so that nothing reaches the terminal raw.
void reportInvalidServerName(Host& host, const std::string& name);

#endif  // KIVCONFIG_BASE_SERVER_NAME_H_
