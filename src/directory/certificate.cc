#include "directory/certificate.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "base/file_io.h"
#include "base/log.h"
#include "base/messages.h"
#include "base/result_codes.h"

namespace {

// The captured certificate's DER bytes, empty when none was captured, and
// why the last one was rejected. The SDK calls the verify callback without a
// context, so both are process-wide until the session takes them.
std::vector<unsigned char> captured;
std::string rejection;

// Reports a failed step of the verify callback and rejects the certificate.
int reject(const char* systemLogText, int priority, const char* logText) {
  if (systemLogText != nullptr)
    syslog(priority, "%s", systemLogText);
  rejection = logText;
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
  std::vector<unsigned char> bytes(found.length);
  found.data = bytes.data();
  if (ldapssl_get_cert(certificate, LDAPSSL_CERT_BINARY_DER, &found) != 0) {
    return reject("ldapssl_get_cert failed\n", LOG_DEBUG, "ldapssl_get_cert failed.");
  }
  bytes.resize(found.length);
  captured = std::move(bytes);
  LDAPSSL_Cert trusted = {captured.size(), captured.data()};
  ldapssl_add_trusted_cert(&trusted, LDAPSSL_CERT_BINARY_DER);
  fflush(stdin);
  return 0;
}

bool hasCapturedCertificate() {
  return !captured.empty();
}

void releaseCapturedCertificate() {
  captured.clear();
  captured.shrink_to_fit();
}

std::string takeCertificateRejection() {
  std::string text;
  text.swap(rejection);
  return text;
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

int writeCapturedCertificate(Host& host, const std::string& server, const std::string& path,
                             std::string& fingerprint) {
  switch (replaceFile(path.c_str(), captured.data(), captured.size(), 0644)) {
    case kReplaceCreateFailed:
      return kCertificateFileOpen;
    case kReplaceWriteFailed:
      return kCertificateFileWrite;
  }
  fingerprint = sha256Fingerprint(captured.data(), captured.size());
  host.log("Stored the certificate of the LDAP server " + server + " in " + path +
           ", SHA-256 fingerprint " + fingerprint);
  return 0;
}

int reportNoCertificateReceived(Host& host) {
  printAndLog(host,
              "No certificate was received from the LDAP server; the certificate file was not "
              "updated.\n");
  return kAlreadyReported;
}
