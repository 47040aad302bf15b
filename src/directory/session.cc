#include "directory/session.h"

namespace {
LDAP* session = nullptr;
}  // namespace

int connectDirectory(int /*mode*/) {
  return LDAP_NOT_SUPPORTED;
}

void disconnectDirectory() {
  session = nullptr;
}

LDAP* directorySession() {
  return session;
}

void useDirectorySession(LDAP* handle) {
  session = handle;
}
