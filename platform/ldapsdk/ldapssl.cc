// The SSL extension on libldap with GnuTLS inside.
//
// Each handle gets its own TLS context (LDAP_OPT_X_TLS_NEWCTX, set after the
// per-handle options, which a new context copies) that requires no CA
// signature: the server certificate is judged by this unit alone. libldap
// calls onTlsConnect with the fresh GnuTLS session before the handshake;
// it installs verifyPeer, which GnuTLS runs inside the handshake once the
// server's chain has arrived. A non-zero result there aborts the handshake
// with GNUTLS_E_CERTIFICATE_ERROR, whose text libldap leaves as the
// handle's diagnostic message ("Error in the certificate.") while the
// operation fails with LDAP_SERVER_DOWN.
//
// The state is process-wide and not locked: the program runs on one thread.
#include "ldapssl.h"

#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "ldapssl_cert.h"

namespace {

// A trust file larger than this is not a single certificate.
constexpr size_t kMaxTrustFileBytes = 1 << 20;

struct SslState {
  bool ready = false;
  LDAPSSL_VerifyCallback callback = nullptr;
  std::vector<std::vector<unsigned char>> trusted;
};

SslState state;

// libldap's GnuTLS session object starts with the gnutls_session_t.
struct LibldapGnutlsSession {
  gnutls_session_t session;
};

// Reads the whole of `fd`, at most kMaxTrustFileBytes; false on a read error
// or a longer file.
bool readAll(int fd, std::vector<unsigned char>* der) {
  unsigned char chunk[4096];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return got == 0;
    }
    der->insert(der->end(), chunk, chunk + got);
    if (der->size() > kMaxTrustFileBytes) {
      return false;
    }
  }
}

int readTrustFile(const char* path, std::vector<unsigned char>* der) {
  // Opened without blocking and read only when it is a regular file, so a
  // FIFO or a device at the name cannot stall the caller.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return LDAP_LOCAL_ERROR;
  }
  struct stat status;
  bool read = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && readAll(fd, der);
  close(fd);
  if (!read || der->empty()) {
    return LDAP_LOCAL_ERROR;
  }
  // Only a readable certificate can ever match the server's.
  std::string subject;
  if (certAttributeText(*der, LDAPSSL_CERT_ATTR_SUBJECT, &subject) != 0) {
    return LDAP_LOCAL_ERROR;
  }
  return 0;
}

bool isTrusted(const unsigned char* der, size_t size) {
  for (const std::vector<unsigned char>& cert : state.trusted) {
    if (cert.size() == size && std::memcmp(cert.data(), der, size) == 0) {
      return true;
    }
  }
  return false;
}

int verifyPeer(gnutls_session_t session) {
  unsigned int count = 0;
  const gnutls_datum_t* chain = gnutls_certificate_get_peers(session, &count);
  if (!state.ready || chain == nullptr || count == 0) {
    return -1;
  }
  const gnutls_datum_t& leaf = chain[0];
  if (!state.trusted.empty()) {
    return isTrusted(leaf.data, leaf.size) ? 0 : -1;
  }
  if (state.callback == nullptr) {
    return -1;
  }
  try {
    LDAPSSL_CertHandle handle;
    handle.der.assign(leaf.data, leaf.data + leaf.size);
    return state.callback(&handle) == 0 ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

extern "C" int onTlsConnect(LDAP*, void* ssl, void*, void*) {
  if (ssl != nullptr) {
    gnutls_session_t session = static_cast<LibldapGnutlsSession*>(ssl)->session;
    gnutls_session_set_verify_function(session, verifyPeer);
  }
  return 0;
}

// Letters, digits and the marks of host names and IP literals, an IPv6
// literal also in brackets; anything else (a space or a comma starts another
// URI for libldap) is refused.
bool isHostName(const char* host) {
  if (host == nullptr) {
    return false;
  }
  std::string_view name(host);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  if (name.empty()) {
    return false;
  }
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr("-._:%", c) == nullptr) {
      return false;
    }
  }
  return true;
}

std::string ldapsUri(const char* host, int port) {
  bool bareIpv6 = host[0] != '[' && std::strchr(host, ':') != nullptr;
  std::string bracketed = bareIpv6 ? "[" + std::string(host) + "]" : std::string(host);
  return "ldaps://" + bracketed + ":" + std::to_string(port);
}

int configureHandle(LDAP* ld) {
  int version = LDAP_VERSION3;
  int never = LDAP_OPT_X_TLS_NEVER;
  int client = 0;
  if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &never) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_X_TLS_CONNECT_CB, reinterpret_cast<void*>(onTlsConnect)) !=
          LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_X_TLS_CONNECT_ARG, nullptr) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &client) != LDAP_OPT_SUCCESS) {
    return LDAP_LOCAL_ERROR;
  }
  return 0;
}

bool tlsIsGnutls() {
  char* package = nullptr;
  if (ldap_get_option(nullptr, LDAP_OPT_X_TLS_PACKAGE, &package) != LDAP_OPT_SUCCESS ||
      package == nullptr) {
    return false;
  }
  bool gnutls = std::strcmp(package, "GnuTLS") == 0;
  ldap_memfree(package);
  return gnutls;
}

int makeState(const char* trustFile, SslState* fresh) {
  if (trustFile != nullptr) {
    std::vector<unsigned char> der;
    int rc = readTrustFile(trustFile, &der);
    if (rc != 0) {
      return rc;
    }
    fresh->trusted.push_back(std::move(der));
  }
  fresh->ready = true;
  return 0;
}

}  // namespace

extern "C" int ldapssl_client_init(const char* trustFile, void* reserved) {
  if (reserved != nullptr) {
    return LDAP_PARAM_ERROR;
  }
  if (!tlsIsGnutls()) {
    return LDAP_NOT_SUPPORTED;
  }
  try {
    SslState fresh;
    int rc = makeState(trustFile, &fresh);
    if (rc == 0) {
      state = std::move(fresh);
    }
    return rc;
  } catch (const std::bad_alloc&) {
    return LDAP_NO_MEMORY;
  }
}

extern "C" int ldapssl_set_verify_callback(LDAPSSL_VerifyCallback callback) {
  state.callback = callback;
  return 0;
}

extern "C" LDAP* ldapssl_init(const char* host, int port, int secure) {
  if (!state.ready || !isHostName(host) || port <= 0 || port > 65535 || secure != 1) {
    return nullptr;
  }
  LDAP* ld = nullptr;
  try {
    if (ldap_initialize(&ld, ldapsUri(host, port).c_str()) != LDAP_SUCCESS || ld == nullptr) {
      return nullptr;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (configureHandle(ld) != 0) {
    ldap_unbind_ext(ld, nullptr, nullptr);
    return nullptr;
  }
  return ld;
}

extern "C" int ldapssl_client_deinit(void) {
  state = SslState();
  return 0;
}

extern "C" int ldapssl_add_trusted_cert(const LDAPSSL_Cert* cert, int type) {
  if (cert == nullptr || cert->data == nullptr || cert->length == 0 ||
      type != LDAPSSL_CERT_BINARY_DER) {
    return LDAP_PARAM_ERROR;
  }
  if (!state.ready) {
    return LDAP_LOCAL_ERROR;
  }
  try {
    if (!isTrusted(cert->data, cert->length)) {
      state.trusted.emplace_back(cert->data, cert->data + cert->length);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return LDAP_NO_MEMORY;
  }
}
