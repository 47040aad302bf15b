// session-probe [-l SSL_PORT] MODE SERVER LDAP_PORT ADMIN_DN
//
// Opens the directory session as the program's commands do (mode 0 as rm,
// from the store and a stored certificate; mode 1 as add, with SSL when -l
// is given), binds with PELK_PWD or the password prompt, and closes it. Prints
// "connected" on success; exits with the result code's low 8 bits.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/report.h"
#include "cli/run_settings.h"
#include "directory/session.h"

int main(int argc, char** argv) {
  setlocale(LC_ALL, "");
  int first = 1;
  if (argc > 2 && strcmp(argv[1], "-l") == 0) {
    runSettings.sslPort = static_cast<uint16_t>(atoi(argv[2]));
    runSettings.sslFlag = 1;
    first = 3;
  }
  if (argc - first != 4) {
    fputs("usage: session-probe [-l SSL_PORT] MODE SERVER LDAP_PORT ADMIN_DN\n", stderr);
    return 2;
  }
  int mode = atoi(argv[first]);
  runSettings.ldapServer = argv[first + 1];
  runSettings.ldapPort = static_cast<uint16_t>(atoi(argv[first + 2]));
  runSettings.adminFdn = argv[first + 3];
  int rc = connectDirectory(mode);
  disconnectDirectory();
  if (rc == 0)
    puts("connected");
  return reportResult(rc);
}
