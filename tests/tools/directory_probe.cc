// directory-probe [-l SSL_PORT] [-u UPGRADE] MODE SERVER LDAP_PORT ADMIN_DN
//
// Opens the directory session as the program's commands do (mode 0 as rm,
// from the store and a stored certificate; mode 1 as add, with SSL when -l
// is given), binds with PELK_PWD or the password prompt, and with -u runs
// the schema stage of add (UPGRADE 0) or upgrade (1) after reading the
// server's version. Prints "connected" once bound; exits with the result
// code's low 8 bits after reporting it.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/run_settings.h"
#include "cli/report.h"
#include "directory/session.h"
#include "schema/schema.h"
#include "schema/server_info.h"

int main(int argc, char** argv) {
  setlocale(LC_ALL, "");
  int upgrade = -1;
  int option;
  while ((option = getopt(argc, argv, "l:u:")) != -1) {
    if (option == 'l') {
      runSettings.sslPort = static_cast<uint16_t>(atoi(optarg));
      runSettings.sslFlag = 1;
    } else if (option == 'u') {
      upgrade = atoi(optarg);
    } else {
      return 2;
    }
  }
  if (argc - optind != 4) {
    fputs("usage: directory-probe [-l SSL_PORT] [-u UPGRADE] MODE SERVER LDAP_PORT ADMIN_DN\n",
          stderr);
    return 2;
  }
  runSettings.ldapServer = argv[optind + 1];
  runSettings.ldapPort = static_cast<uint16_t>(atoi(argv[optind + 2]));
  runSettings.adminFdn = argv[optind + 3];
  std::unique_ptr<DirectorySession> session;
  int rc = connectDirectory(static_cast<ConnectMode>(atoi(argv[optind])), session);
  if (rc == 0) {
    puts("connected");
    fflush(stdout);
    if (upgrade >= 0) {
      readServerVersion(*session);
      rc = updateSchema(*session, static_cast<JoinMode>(upgrade));
    }
  }
  session.reset();
  return reportResult(rc);
}
