// Trust on first use of the directory server's certificate.
#ifndef KIVCONFIG_DIRECTORY_CERTIFICATE_H_
#define KIVCONFIG_DIRECTORY_CERTIFICATE_H_

// The -k command: connects over SSL with the stored settings to capture the
// server's certificate again. Returns 0 or a result code.
int fetchServerCertificate();

#endif  // KIVCONFIG_DIRECTORY_CERTIFICATE_H_
