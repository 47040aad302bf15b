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
// completes the line with "done." when that succeeded or the entry was gone
// already (another host or an earlier run deleted it). Returns 0 then, or
// the delete's result, whose report is left to the caller.
inline int deleteWithProgress(DirectoryRequests& directory, const char* action,
                              const std::string& dn) {
  announce(action);
  int rc = directory.remove(dn);
  if (rc != 0 && rc != LDAP_NO_SUCH_OBJECT)
    return rc;
  reportDone();
  return 0;
}

// The library's text for the failure goes on a line of its own, untranslated.
// Returns `code`.
inline int reportFailure(int code) {
  printf("\n%s\n", ldapErrorText(code));
  return code;
}

#endif  // KIVCONFIG_DIRECTORY_PROGRESS_H_
