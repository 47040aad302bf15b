// Progress lines of the directory steps: an action is announced without a
// line end and completed by "done.", " already exists" or the LDAP library's
// text for the failure, on standard output.
#ifndef KIVCONFIG_DIRECTORY_PROGRESS_H_
#define KIVCONFIG_DIRECTORY_PROGRESS_H_

#include <cstdio>
#include <string>

#include "base/directory_requests.h"
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

// Announces `action` (already marked translatable), deletes `dn` and
// completes the line with "done." when that succeeded. Returns the delete's
// result; a failure is left to the caller to report.
inline int deleteWithProgress(DirectoryRequests& directory, const char* action,
                              const std::string& dn) {
  announce(action);
  int rc = directory.remove(dn);
  if (rc == 0)
    reportDone();
  return rc;
}

// The library's text for the failure goes on a line of its own, untranslated.
// Returns `code`.
inline int reportFailure(int code) {
  printf("\n%s\n", ldapErrorText(code));
  return code;
}

#endif  // KIVCONFIG_DIRECTORY_PROGRESS_H_
