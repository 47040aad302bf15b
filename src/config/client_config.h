// The client configuration written into the store for kivcd and the other
// account-service clients on the host.
#ifndef KIVCONFIG_CONFIG_CLIENT_CONFIG_H_
#define KIVCONFIG_CONFIG_CLIENT_CONFIG_H_

#include <optional>
#include <string>
#include <vector>

#include "base/host.h"

// A value stored beside the key table: an integer or a text.
struct StoreValue {
  const char* key;
  std::optional<int> integer;
  std::string text;
};

// Write the key table from the run settings, followed by `extra`, save and
// end the store. When a value cannot be stored or the store cannot be saved,
// the previous file stays as it was, the failure is printed (naming the file
// and the system error) and logged, and the result is non-zero; the caller
// must then leave the daemons alone. Otherwise 0.
//
// writeClientConfig serves add and upgrade; writeSimpleClientConfig serves
// simple_add, whose run settings must name the LDAP server.
int writeClientConfig(Host& host, const std::vector<StoreValue>& extra = {});
int writeSimpleClientConfig(Host& host);

// Ends a store update whose values were set: when `refusedKey` names a value
// the store refused, nothing is saved; otherwise the store is saved. Ends the
// store either way. Returns 0, or 1 after printing and logging the failure
// (the key refused, or the file and the system error).
int finishStoreUpdate(Host& host, const char* refusedKey);

// Stores a new preferred server, saves and ends the store; 0 or non-zero
// after reporting as above.
int storePreferredServer(Host& host, const char* server);

#endif  // KIVCONFIG_CONFIG_CLIENT_CONFIG_H_
