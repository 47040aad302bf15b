// One client connection: reads LDAP PDUs from a plain or TLS socket,
// carries out each request against the shared directory and writes the
// responses. Runs on its own thread and owns the socket, which it closes.
//
// A malformed PDU, one larger than kMaxPduBytes, or a failed TLS handshake
// ends this connection only. Access rules: everyone may read; writes need a
// bind as one of the administrators (50 otherwise).
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "directory.h"
#include "fault_rules.h"

namespace ombrel {

inline constexpr size_t kMaxPduBytes = 16u << 20;
inline constexpr int kMaxConnections = 512;

struct ServerState {
  std::mutex mutex;  // guards directory and faults
  Directory directory;
  std::vector<FaultRule> faults;
  std::set<std::string> admins;  // normalised DNs
  bool refuse_cleartext_bind = false;
  std::atomic<int> connections{0};
};

// Serves fd until the client leaves; tls is null for the clear port.
void serveConnection(ServerState* state, int fd, SSL_CTX* tls);

}  // namespace ombrel
