// Reading a stored server certificate back: as the trust anchor of a
// connection that takes its SSL choice from the store, and for -k, which
// compares what it replaces with what it stores.
#ifndef KIVCONFIG_DIRECTORY_STORED_CERTIFICATE_H_
#define KIVCONFIG_DIRECTORY_STORED_CERTIFICATE_H_

#include <string>
#include <vector>

enum class StoredCertificate {
  kAbsent,    // nothing at all is at the name
  kUsable,    // a regular file holding one DER certificate and nothing else
  kUnusable,  // anything else that is there
};

// Judges the certificate file `path`. A symbolic link is followed, so an
// administrator's link to a certificate kept elsewhere serves; whatever it
// leads to is judged like a file at the name. Only a regular file is opened,
// and without blocking, so a FIFO there never stalls the program. `der`
// receives the bytes of a regular file that could be read, usable or not;
// `problem` says why an unusable one cannot serve ("it is a directory").
StoredCertificate inspectStoredCertificate(const std::string& path, std::vector<unsigned char>& der,
                                           std::string& problem);

#endif  // KIVCONFIG_DIRECTORY_STORED_CERTIFICATE_H_
