// The older client's configuration, "/etc/vrd.conf": its keys start with
// "t3v.qup." and "t3v.vrd.", and its partition root is written as a dotted
// name ("ws.corp" for ou=ws,o=corp). The upgrade command reads the partition
// root and the server from it before joining, and copies its cache tuning
// values into the store after.
#ifndef KIVCONFIG_CONFIG_OLD_CONFIG_H_
#define KIVCONFIG_CONFIG_OLD_CONFIG_H_

#include <string>
#include <string_view>

enum class DottedNameResult { kConverted, kNoParts, kTooLong };

// The DN of a dotted name: every part but the last becomes "ou=<part>", the
// last "o=<part>"; a part that already holds "=" is taken as it is. Runs of
// dots separate like one dot. "a.b.c" gives "ou=a,ou=b,o=c" and
// "cn=x.o=y" gives "cn=x,o=y". kNoParts for a name without parts (empty or
// only dots), kTooLong when the DN would not fit a name buffer
// (kNameBufferSize with its NUL); `dn` is set only on kConverted.
DottedNameResult dottedToDn(std::string_view dotted, std::string& dn);

// Takes the run settings' partition root from "t3v.qup.base-name" and their
// LDAP server from "t3v.vrd.preferred-server" (cleared when that is missing,
// so that the connection asks for it). Returns 0, or -6026 when the base name
// is missing or gives no DN (a DN too long is said so first). The store file
// selected afterwards is "/etc/kiv.conf" again.
int readOldBaseContext();

// Copies the cache tuning values present in the old file into the store and
// saves it; `copied` tells whether any value was copied. Returns 0, or
// non-zero after printing and logging why the store could not be saved (it
// then stays as it was).
int migrateOldSettings(bool& copied);

#endif  // KIVCONFIG_CONFIG_OLD_CONFIG_H_
