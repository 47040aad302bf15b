// Progress lines of the directory steps: an action is announced without a
// line end and completed by "done.", " already exists" or the LDAP library's
// text for the failure, on standard output.
#ifndef KIVCONFIG_DIRECTORY_PROGRESS_H_
#define KIVCONFIG_DIRECTORY_PROGRESS_H_

#include <cstdio>

#include "base/ldap_error.h"
#include "base/messages.h"

// Prints the translated `action`, flushed so that it shows while the
// directory works.
inline void announce(const char* action) {
  fputs(tr(action), stdout);
  fflush(stdout);
}

inline void reportDone() {
  fputs(tr("done.\n"), stdout);
}

inline void reportAlreadyExists() {
  fputs(tr(" already exists\n"), stdout);
}

// The library's texts are shown untranslated. Returns `code`.
inline int reportFailure(int code) {
  printf("%s\n", ldapErrorText(code));
  return code;
}

#endif  // KIVCONFIG_DIRECTORY_PROGRESS_H_
