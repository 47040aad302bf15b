// The TLS client of the SSL extension, on GnuTLS and independent of the TLS
// package that libldap itself was built with: libldap sees a clear LDAP
// connection and reads and writes through the Sockbuf layer installed here.
//
// The server's certificate is judged inside the handshake, so a refused
// server never gets a byte of LDAP, let alone the bind's password.
#include "ldapssl_tls.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct TlsConnection {
  gnutls_certificate_credentials_t credentials = nullptr;
  gnutls_session_t session = nullptr;
  CertificateCheck check = nullptr;
  bool refused = false;

  TlsConnection() = default;
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;
  ~TlsConnection() {
    if (session != nullptr) {
      gnutls_deinit(session);
    }
    if (credentials != nullptr) {
      gnutls_certificate_free_credentials(credentials);
    }
  }
};

TlsConnection* connectionOf(Sockbuf_IO_Desc* sbiod) {
  return static_cast<TlsConnection*>(sbiod->sbiod_pvt);
}

int verifyPeer(gnutls_session_t session) {
  auto* connection = static_cast<TlsConnection*>(gnutls_session_get_ptr(session));
  unsigned int count = 0;
  const gnutls_datum_t* chain = gnutls_certificate_get_peers(session, &count);
  bool accepted =
      chain != nullptr && count > 0 && connection->check(chain[0].data, chain[0].size) == 0;
  connection->refused = !accepted;
  return accepted ? 0 : -1;
}

// libldap reads errno after a failed read or write: EWOULDBLOCK makes it
// wait for the socket, EINTR makes it retry the same call (which GnuTLS
// requires after an interrupted send).
ber_slen_t failedIo(ssize_t rc) {
  if (rc == GNUTLS_E_AGAIN) {
    errno = EWOULDBLOCK;
  } else if (rc == GNUTLS_E_INTERRUPTED) {
    errno = EINTR;
  } else {
    errno = ECONNRESET;
  }
  return -1;
}

int layerSetup(Sockbuf_IO_Desc* sbiod, void* connection) {
  sbiod->sbiod_pvt = connection;
  return 0;
}

int layerRemove(Sockbuf_IO_Desc* sbiod) {
  delete connectionOf(sbiod);
  sbiod->sbiod_pvt = nullptr;
  return 0;
}

int layerCtrl(Sockbuf_IO_Desc* sbiod, int option, void* arg) {
  // Records GnuTLS has already decrypted wait for no socket event.
  if (option == LBER_SB_OPT_DATA_READY &&
      gnutls_record_check_pending(connectionOf(sbiod)->session) > 0) {
    return 1;
  }
  return LBER_SBIOD_CTRL_NEXT(sbiod, option, arg);
}

ber_slen_t layerRead(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
  ssize_t got = gnutls_record_recv(connectionOf(sbiod)->session, buffer, length);
  return got >= 0 ? got : failedIo(got);
}

ber_slen_t layerWrite(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
  ssize_t sent = gnutls_record_send(connectionOf(sbiod)->session, buffer, length);
  return sent >= 0 ? sent : failedIo(sent);
}

int layerClose(Sockbuf_IO_Desc* sbiod) {
  // Best effort: the socket below is closed in any case.
  gnutls_bye(connectionOf(sbiod)->session, GNUTLS_SHUT_WR);
  return 0;
}

Sockbuf_IO tlsLayer = {layerSetup, layerRemove, layerCtrl, layerRead, layerWrite, layerClose};

bool isIpLiteral(const char* name) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, name, address) == 1 || inet_pton(AF_INET6, name, address) == 1;
}

int setUpSession(TlsConnection* connection, const char* serverName, int fd,
                 unsigned int timeoutMs) {
  int rc = gnutls_certificate_allocate_credentials(&connection->credentials);
  if (rc == 0) {
    rc = gnutls_init(&connection->session, GNUTLS_CLIENT | GNUTLS_NO_SIGNAL);
  }
  if (rc == 0) {
    rc = gnutls_set_default_priority(connection->session);
  }
  if (rc == 0) {
    rc = gnutls_credentials_set(connection->session, GNUTLS_CRD_CERTIFICATE,
                                connection->credentials);
  }
  if (rc == 0 && serverName != nullptr && !isIpLiteral(serverName)) {
    rc = gnutls_server_name_set(connection->session, GNUTLS_NAME_DNS, serverName,
                                std::strlen(serverName));
  }
  if (rc != 0) {
    return rc;
  }
  gnutls_session_set_ptr(connection->session, connection);
  gnutls_session_set_verify_function(connection->session, verifyPeer);
  gnutls_transport_set_int(connection->session, fd);
  gnutls_handshake_set_timeout(connection->session, timeoutMs);
  return 0;
}

int handshake(gnutls_session_t session) {
  int rc;
  do {
    rc = gnutls_handshake(session);
  } while (rc < 0 && gnutls_error_is_fatal(rc) == 0);
  return rc;
}

}  // namespace

TlsStart startTls(Sockbuf* sb, const char* serverName, unsigned int timeoutMs,
                  CertificateCheck check, std::string* failure) {
  ber_socket_t fd = -1;
  if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) != 1 || fd < 0) {
    *failure = "no socket to start TLS on";
    return TlsStart::kFailed;
  }
  std::unique_ptr<TlsConnection> connection(new (std::nothrow) TlsConnection);
  if (!connection) {
    *failure = "out of memory";
    return TlsStart::kFailed;
  }
  connection->check = check;
  int rc = setUpSession(connection.get(), serverName, fd, timeoutMs);
  if (rc == 0) {
    rc = handshake(connection->session);
  }
  if (rc != 0) {
    *failure = std::string("TLS handshake failed: ") + gnutls_strerror(rc);
    return connection->refused ? TlsStart::kCertificateRefused : TlsStart::kFailed;
  }
  if (ber_sockbuf_add_io(sb, &tlsLayer, LBER_SBIOD_LEVEL_TRANSPORT, connection.get()) != 0) {
    *failure = "the TLS layer cannot be installed";
    return TlsStart::kFailed;
  }
  connection.release();  // the layer owns it now; layerRemove frees it
  return TlsStart::kEstablished;
}
