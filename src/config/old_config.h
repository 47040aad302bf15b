// The older client's configuration, "/etc/vrd.conf": its keys start with
// "t3v.qup." and "t3v.vrd.", and its partition root is written as a dotted
// name ("ws.corp" for ou=ws,o=corp). The upgrade command reads the partition
// root and the server from it before joining, and copies its cache tuning
// values into the store after.
#ifndef KIVCONFIG_CONFIG_OLD_CONFIG_H_
#define KIVCONFIG_CONFIG_OLD_CONFIG_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/host.h"
#include "config/client_config.h"

enum class DottedNameResult { kConverted, kNoParts, kTooLong };

// The DN of a dotted name: every part but the last becomes "ou=<part>", the
// last "o=<part>"; a part that already holds "=" is taken as it is. Runs of
// dots separate like one dot. "a.b.c" gives "ou=a,ou=b,o=c" and
// "cn=x.o=y" gives "cn=x,o=y". kNoParts for a name without parts (empty or
// only dots), kTooLong when the DN would not fit a name buffer
// (kNameBufferSize with its NUL); `dn` is set only on kConverted.
DottedNameResult dottedToDn(std::string_view dotted, std::string& dn);

// Reads the partition root from "t3v.qup.base-name" and the LDAP server
// from "t3v.vrd.preferred-server" (none when that is missing, so that the
// connection asks for it). Returns 0, -6026 when the base name is missing or
// gives no DN (a DN too long is said so first), or -5999 after reporting a
// server name that is refused. The store file selected afterwards is
// "/etc/kiv.conf" again.
int readOldBaseContext(Host& host, std::string& partitionRoot, std::optional<std::string>& server);

// The cache tuning values present in the old file, under their names in the
// store, in the order they are copied. A value that the store's set would
// refuse is printed and logged, naming its key, and left out. The store file selected afterwards is
// "/etc/kiv.conf" again.
std::vector<StoreValue> readOldTuningValues(Host& host);

#endif  // KIVCONFIG_CONFIG_OLD_CONFIG_H_
