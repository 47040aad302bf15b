// The SSL extension on libldap: LDAP over TLS with trust on first use.
//
// Handles are clear ldap:// handles for libldap with a connection callback:
// each time libldap has connected the socket, before it writes anything, the
// callback runs the TLS handshake itself (ldapssl_tls.cc) and judges the
// server's certificate inside it. A refused certificate, or any other failed
// handshake, fails the connection, so the operation that wanted it fails with
// LDAP_SERVER_DOWN before its request (a bind with the admin's password)
// exists anywhere but in this process. Nothing of libldap's own TLS is used,
// whichever TLS package libldap was built with: its hooks come too late
// (LDAP_OPT_X_TLS_PEERCERT is there once the connection is made, and the
// operation that made it sends its request right away) or hand out only its
// private session object (LDAP_OPT_X_TLS_CONNECT_CB), and its own checks
// (LDAP_OPT_X_TLS_REQUIRE_CERT) know CA signatures, not the byte-for-byte
// comparison and the callback that trust on first use needs.
//
// The state is process-wide and not locked: the program runs on one thread.
#include "ldapssl.h"

#include <fcntl.h>
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
#include "ldapssl_tls.h"

namespace {

// A trust file larger than this is not a single certificate.
constexpr size_t kMaxTrustFileBytes = 1 << 20;

struct SslState {
  bool ready = false;
  LDAPSSL_VerifyCallback callback = nullptr;
  std::vector<std::vector<unsigned char>> trusted;
};

SslState state;

// A handshake not finished within this time fails, unless the handle's
// LDAP_OPT_NETWORK_TIMEOUT gives another limit: a server that accepts the
// connection but never answers must not stall the program.
constexpr unsigned int kDefaultHandshakeTimeoutMs = 10000;

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

int checkServerCertificate(const unsigned char* der, size_t size) {
  if (!state.ready) {
    return -1;
  }
  if (!state.trusted.empty()) {
    return isTrusted(der, size) ? 0 : -1;
  }
  if (state.callback == nullptr) {
    return -1;
  }
  try {
    LDAPSSL_CertHandle handle;
    handle.der.assign(der, der + size);
    return state.callback(&handle) == 0 ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

unsigned int handshakeTimeoutMs(LDAP* ld) {
  struct timeval* timeout = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout) != LDAP_OPT_SUCCESS ||
      timeout == nullptr) {
    return kDefaultHandshakeTimeoutMs;
  }
  unsigned int ms = kDefaultHandshakeTimeoutMs;
  if (timeout->tv_sec > 0 && timeout->tv_sec < 86400) {
    ms = static_cast<unsigned int>(timeout->tv_sec * 1000 + timeout->tv_usec / 1000);
  }
  ldap_memfree(timeout);
  return ms;
}

// libldap's connection callback: runs on every new connection of a handle,
// after connect() and before libldap sends anything on it.
extern "C" int startTlsOnConnect(LDAP* ld, Sockbuf* sb, LDAPURLDesc* server, struct sockaddr*,
                                 struct ldap_conncb*) {
  std::string failure;
  TlsStart started;
  try {
    started =
        startTls(sb, server->lud_host, handshakeTimeoutMs(ld), checkServerCertificate, &failure);
  } catch (const std::bad_alloc&) {
    started = TlsStart::kFailed;
  }
  if (started == TlsStart::kEstablished) {
    return 0;
  }
  // The handle must forget this socket (libldap closes the one it reads back
  // after a failed callback), or it would take it for a live connection and
  // never connect again. Neither call can fail on a socket libldap gave us.
  ber_socket_t fd = -1;
  if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) == 1 && fd >= 0) {
    close(fd);
  }
  ber_socket_t none = -1;
  ber_sockbuf_ctrl(sb, LBER_SB_OPT_SET_FD, &none);
  const char* message =
      started == TlsStart::kCertificateRefused ? LDAPSSL_CERT_REFUSED_MESSAGE : failure.c_str();
  // Without the message the operation still fails, only less explained.
  ldap_set_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, message);
  return -1;
}

// libldap calls it for every connection that ends; the TLS layer's own
// remove hook has released the session by then.
extern "C" void connectionEnded(LDAP*, Sockbuf*, struct ldap_conncb*) {}

ldap_conncb tlsOnConnect = {startTlsOnConnect, connectionEnded, nullptr};

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

// ldap://, as libldap must not start TLS of its own: the connection
// callback does.
std::string ldapUri(const char* host, int port) {
  bool bareIpv6 = host[0] != '[' && std::strchr(host, ':') != nullptr;
  std::string bracketed = bareIpv6 ? "[" + std::string(host) + "]" : std::string(host);
  return "ldap://" + bracketed + ":" + std::to_string(port);
}

int configureHandle(LDAP* ld) {
  int version = LDAP_VERSION3;
  if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &tlsOnConnect) != LDAP_OPT_SUCCESS) {
    return LDAP_LOCAL_ERROR;
  }
  return 0;
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
    if (ldap_initialize(&ld, ldapUri(host, port).c_str()) != LDAP_SUCCESS || ld == nullptr) {
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
