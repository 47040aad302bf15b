#include "directory/certificate.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "cli/messages.h"
#include "cli/report.h"
#include "cli/run_settings.h"
#include "config/store_reader.h"
#include "directory/session.h"
#include "host/local_files.h"

namespace {

// The captured certificate, in the length/data form the SDK fills.
LDAPSSL_Cert captured = {0, nullptr};

// Whether this run wrote a certificate file; -k succeeds only then.
bool certificateStored = false;

// Reports a failed step of the verify callback and rejects the certificate.
int reject(const char* systemLogText, int priority, const char* logText) {
  if (systemLogText != nullptr)
    syslog(priority, "%s", systemLogText);
  writeLog(logText);
  fflush(stdin);
  return -1;
}

// Reads the issuer or the subject, which only has to be readable.
int readNameAttribute(LDAPSSL_CertHandle* certificate, int attribute, uint32_t& length) {
  if (ldapssl_get_cert_attribute(certificate, attribute, nullptr, &length) != 0)
    return 1;
  std::vector<char> value(length + 1);
  if (ldapssl_get_cert_attribute(certificate, attribute, value.data(), &length) != 0)
    return 2;
  return 0;
}

std::string sha256Fingerprint(const unsigned char* bytes, size_t length) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (EVP_Digest(bytes, length, digest, &digestLength, EVP_sha256(), nullptr) != 1)
    return "";
  std::string text;
  char hex[4];
  for (unsigned int i = 0; i < digestLength; ++i) {
    snprintf(hex, sizeof hex, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += hex;
  }
  return text;
}

// Writes all of `length` bytes; false on any failure.
bool writeAll(int fd, const unsigned char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, bytes, length);
    if (n <= 0)
      return false;
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int verifyServerCertificate(LDAPSSL_CertHandle* certificate) {
  releaseCapturedCertificate();
  uint32_t length = 0;
  switch (readNameAttribute(certificate, LDAPSSL_CERT_ATTR_ISSUER, length)) {
    case 1:
      return reject("ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_ISSUER length failed\n", LOG_ERR,
                    "ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_ISSUER length failed");
    case 2:
      return reject("ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_ISSUER failed\n", LOG_DEBUG,
                    "ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_ISSUER failed");
  }
  switch (readNameAttribute(certificate, LDAPSSL_CERT_ATTR_SUBJECT, length)) {
    case 1:
      return reject("ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_SUBJECT length failed\n",
                    LOG_DEBUG,
                    "ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_SUBJECT length failed");
    case 2:
      return reject("ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_SUBJECT failed\n", LOG_DEBUG,
                    "ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_SUBJECT failed");
  }
  char validity[88];
  uint32_t validityLength = sizeof validity - 1;
  if (ldapssl_get_cert_attribute(certificate, LDAPSSL_CERT_ATTR_VALIDITY_PERIOD, validity,
                                 &validityLength) != 0) {
    return reject("ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_VALIDITY_PERIOD failed\n",
                  LOG_DEBUG, "ldapssl_get_cert_attribute LDAPSSL_CERT_ATTR_VALIDITY_PERIOD failed");
  }
  LDAPSSL_Cert found = {0, nullptr};
  if (ldapssl_get_cert(certificate, LDAPSSL_CERT_BINARY_DER, &found) != 0 || found.length == 0) {
    return reject("ldapssl_get_cert length failed\n", LOG_DEBUG, "ldapssl_get_cert length failed.");
  }
  found.data = static_cast<unsigned char*>(malloc(found.length));
  if (found.data == nullptr) {
    return reject("Could not allocate buffer!\n", LOG_DEBUG, "Could not allocate buffer!");
  }
  if (ldapssl_get_cert(certificate, LDAPSSL_CERT_BINARY_DER, &found) != 0) {
    free(found.data);
    return reject("ldapssl_get_cert failed\n", LOG_DEBUG, "ldapssl_get_cert failed.");
  }
  captured = found;
  ldapssl_add_trusted_cert(&captured, LDAPSSL_CERT_BINARY_DER);
  fflush(stdin);
  return 0;
}

bool hasCapturedCertificate() {
  return captured.data != nullptr;
}

void releaseCapturedCertificate() {
  free(captured.data);
  captured = {0, nullptr};
}

int writeCapturedCertificate(const std::string& path) {
  std::string temporary = path + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0)
    return kCertificateFileOpen;
  bool written =
      fchmod(fd, 0644) == 0 && writeAll(fd, captured.data, captured.length) && fsync(fd) == 0;
  if (close(fd) != 0)
    written = false;
  if (!written) {
    unlink(temporary.c_str());
    return kCertificateFileWrite;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return kCertificateFileOpen;
  }
  certificateStored = true;
  writeLog("Stored the certificate of the LDAP server " + runSettings.ldapServer.value_or("") +
           " in " + path + ", SHA-256 fingerprint " +
           sha256Fingerprint(captured.data, captured.length));
  return 0;
}

int fetchServerCertificate() {
  std::optional<std::string> server = readStoreText("preferred-server");
  if (!server)
    return kNotConfigured;
  runSettings.ldapServer = server;
  std::optional<std::string> admin = readStoreDn("admin-fdn");
  if (admin)
    runSettings.adminFdn = admin;
  if (runSettings.sslFlag == 0) {
    std::optional<int> sslPort = readStoreInteger("ldap-ssl-port");
    if (!sslPort || *sslPort <= 0)
      return kNoSslPort;
    runSettings.sslPort = static_cast<uint16_t>(*sslPort);
    runSettings.sslFlag = 1;
  }
  int rc = connectDirectory(1);
  disconnectDirectory();
  // A bind that fell back to a clear connection received no certificate.
  if (rc == 0 && !certificateStored) {
    printAndLog(
        "No certificate was received from the LDAP server; the certificate file was not "
        "updated.\n");
    return kAlreadyReported;
  }
  return rc;
}
