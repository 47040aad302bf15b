// The -k command: fetches and stores the directory server's certificate
// again.
#ifndef KIVCONFIG_DIRECTORY_CERTIFICATE_FETCH_H_
#define KIVCONFIG_DIRECTORY_CERTIFICATE_FETCH_H_

// Connects over SSL to the stored server with the stored admin's name,
// capturing and storing the certificate the server presents. Returns 0 only
// when the certificate file was written; otherwise a result code.
int fetchServerCertificate();

#endif  // KIVCONFIG_DIRECTORY_CERTIFICATE_FETCH_H_
