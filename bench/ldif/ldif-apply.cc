// ldif-apply URI BINDDN PASSWORD FILE: binds to the directory at URI and
// applies the LDIF change file with the program's own processor. Prints
// "result: N" and exits 0 when N is 0, else 1. Used by the end-to-end tests
// and the benchmark.
#include <ldap.h>

#include <cstdio>
#include <cstring>

#include "directory/ldap_session.h"
#include "ldif/apply.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s URI BINDDN PASSWORD FILE\n", argv[0]);
    return 2;
  }
  LDAP* session = nullptr;
  int result = ldap_initialize(&session, argv[1]);
  if (result != LDAP_SUCCESS) {
    fprintf(stderr, "ldap_initialize: %s\n", ldap_err2string(result));
    return 1;
  }
  DirectorySession directory(session);
  int version = LDAP_VERSION3;
  result = ldap_set_option(session, LDAP_OPT_PROTOCOL_VERSION, &version);
  if (result == LDAP_OPT_SUCCESS) {
    result = ldap_simple_bind_s(session, argv[2], argv[3]);
  }
  if (result != LDAP_SUCCESS) {
    fprintf(stderr, "bind: %s\n", ldap_err2string(result));
    return 1;
  }
  result = applyLdifFile(argv[4], directory);
  printf("result: %d\n", result);
  return result == 0 ? 0 : 1;
}
