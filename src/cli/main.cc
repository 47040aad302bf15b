// kivconfig: joins this host to the Ombrel directory as a client of the
// account services, and takes it out again.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/messages.h"
#include "base/system_host.h"
#include "cli/dispatch.h"
#include "kiv.h"

int main(int argc, char** argv) {
  if (setlocale(LC_ALL, "") == nullptr)
    setlocale(LC_ALL, nullptr);
  textdomain(kTextDomain);
  t3v_i18n_init();
  try {
    SystemHost host;
    return runCommandLine(host, argc, argv);
  } catch (const std::bad_alloc&) {
    fputs(tr("Insufficient memory. Please free up some memory and try again.\n"), stderr);
    return 255;
  }
}
