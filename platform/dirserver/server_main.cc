// ombrel-server: a directory server for tests and demonstrations. Parses the
// command line, loads the tree, opens the listening ports (after an optional
// delay) and serves until SIGTERM or SIGINT; SIGUSR1 writes the dump.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "connection.h"
#include "dn.h"
#include "ldif_io.h"
#include "server_options.h"

namespace ombrel {
namespace {

struct SslCtxDeleter {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};

int setUp(const Options& options, ServerState* state) {
  std::string error;
  Directory& dir = state->directory;
  dir.schema = builtinSchema();
  dir.vendor_version = options.vendor_version;
  if (!options.load.empty() && loadLdifFile(&dir, options.load, &error) != 0) {
    std::fprintf(stderr, "ombrel-server: %s\n", error.c_str());
    return 1;
  }
  dir.server_dn = options.server_dn;
  OpResult result;
  if (ensureServerEntry(&dir, &result) != kSuccess) {
    std::fprintf(stderr, "ombrel-server: server entry %s: %s (%d)\n", options.server_dn.c_str(),
                 result.message.c_str(), result.code);
    return 1;
  }
  if (options.no_dsa_name)
    dir.server_dn.clear();
  for (const std::string& admin : options.admins) {
    std::string ndn;
    if (normalizeDn(admin, &ndn) != kSuccess || !dir.entries.count(ndn) ||
        dir.entries[ndn].values("userpassword") == nullptr) {
      std::fprintf(stderr, "ombrel-server: admin %s is not an entry with a userPassword\n",
                   admin.c_str());
      return 1;
    }
    state->admins.insert(ndn);
  }
  for (const std::string& text : options.fail_rules) {
    FaultRule rule;
    if (parseFaultRule(text, &rule, &error) != 0) {
      std::fprintf(stderr, "ombrel-server: %s\n", error.c_str());
      return 1;
    }
    state->faults.push_back(rule);
  }
  for (const std::string& path : options.fail_files) {
    if (loadFaultRules(path, &state->faults, &error) != 0) {
      std::fprintf(stderr, "ombrel-server: %s\n", error.c_str());
      return 1;
    }
  }
  state->refuse_cleartext_bind = options.refuse_cleartext_bind;
  return 0;
}

SSL_CTX* makeTlsContext(const Options& options) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr || SSL_CTX_use_certificate_chain_file(ctx, options.cert.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, options.key.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx) != 1) {
    std::fprintf(stderr, "ombrel-server: cannot use certificate %s and key %s\n",
                 options.cert.c_str(), options.key.c_str());
    ERR_print_errors_fp(stderr);
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

// A listening socket on address:port; *port receives the bound port.
int openListener(const std::string& address, int* port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(*port));
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
    std::fprintf(stderr, "ombrel-server: bad listen address %s\n", address.c_str());
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  socklen_t len = sizeof addr;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 128) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::fprintf(stderr, "ombrel-server: cannot listen on %s:%d: %s\n", address.c_str(), *port,
                 std::strerror(errno));
    if (fd >= 0)
      close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

void acceptLoop(ServerState* state, int listener, SSL_CTX* tls) {
  while (true) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE) {
        if (errno == EMFILE || errno == ENFILE)
          usleep(10000);
        continue;
      }
      std::fprintf(stderr, "ombrel-server: accept: %s\n", std::strerror(errno));
      return;
    }
    // A search answers with entries and then a small result message; without
    // this the result waits for the client's delayed acknowledgement.
    int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    if (state->connections.fetch_add(1) >= kMaxConnections) {
      state->connections.fetch_sub(1);
      close(fd);
      continue;
    }
    std::thread([state, fd, tls] {
      serveConnection(state, fd, tls);
      state->connections.fetch_sub(1);
    }).detach();
  }
}

int writeDump(ServerState* state, const std::string& path) {
  if (path.empty())
    return 0;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    text = dumpLdif(state->directory);
  }
  std::string error;
  if (writeFileAtomically(path, text, &error) != 0) {
    std::fprintf(stderr, "ombrel-server: dump failed: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// Waits for a signal for at most seconds (forever when negative).
int waitSignal(const sigset_t& set, double seconds) {
  if (seconds < 0) {
    int sig = 0;
    return sigwait(&set, &sig) == 0 ? sig : -1;
  }
  timespec timeout{static_cast<time_t>(seconds),
                   static_cast<long>((seconds - static_cast<time_t>(seconds)) * 1e9)};
  return sigtimedwait(&set, nullptr, &timeout);
}

// Waits out --start-delay, serving the signals meanwhile.
void waitForStart(const Options& options, ServerState* state, const sigset_t& signals) {
  auto open_at =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(options.start_delay);
  for (double left = options.start_delay; left > 0;) {
    int sig = waitSignal(signals, left);
    if (sig == SIGTERM || sig == SIGINT)
      std::_Exit(writeDump(state, options.dump));
    if (sig == SIGUSR1)
      writeDump(state, options.dump);
    left = std::chrono::duration<double>(open_at - std::chrono::steady_clock::now()).count();
  }
}

// Opens the ports, starts their accept loops and says where they are; 0, or
// 1 after saying why not.
int openPorts(const Options& options, ServerState* state, SSL_CTX* tls) {
  int ldap_port = options.ldap_port;
  int ldap_fd = openListener(options.listen, &ldap_port);
  if (ldap_fd < 0)
    return 1;
  int ldaps_port = options.ldaps_port.value_or(0);
  int ldaps_fd = -1;
  if (tls != nullptr) {
    ldaps_fd = openListener(options.listen, &ldaps_port);
    if (ldaps_fd < 0)
      return 1;
  }
  std::thread(acceptLoop, state, ldap_fd, nullptr).detach();
  if (ldaps_fd >= 0)
    std::thread(acceptLoop, state, ldaps_fd, tls).detach();
  if (!options.port_file.empty()) {
    std::string text = "ldap=" + std::to_string(ldap_port) + "\n";
    if (ldaps_fd >= 0)
      text += "ldaps=" + std::to_string(ldaps_port) + "\n";
    std::string error;
    if (writeFileAtomically(options.port_file, text, &error) != 0) {
      std::fprintf(stderr, "ombrel-server: %s\n", error.c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "ombrel-server: listening on %s ldap=%d ldaps=%d\n", options.listen.c_str(),
               ldap_port, ldaps_fd >= 0 ? ldaps_port : 0);
  return 0;
}

}  // namespace

int serverMain(int argc, char** argv) {
  Options options;
  int parsed = parseOptions(argc, argv, &options);
  if (parsed != 0)
    return parsed == 1 ? 0 : 2;

  sigset_t signals;
  sigemptyset(&signals);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1})
    sigaddset(&signals, sig);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  auto* state = new ServerState;  // lives until the process ends; threads use it
  if (setUp(options, state) != 0)
    return 1;
  std::unique_ptr<SSL_CTX, SslCtxDeleter> tls;
  if (options.ldaps_port) {
    tls.reset(makeTlsContext(options));
    if (!tls)
      return 1;
  }

  waitForStart(options, state, signals);
  if (openPorts(options, state, tls.get()) != 0)
    return 1;

  while (true) {
    int sig = waitSignal(signals, -1);
    if (sig == SIGUSR1) {
      writeDump(state, options.dump);
      continue;
    }
    if (sig == SIGTERM || sig == SIGINT) {
      int rc = writeDump(state, options.dump);
      std::fflush(stderr);
      std::_Exit(rc);  // connection threads may still hold the state
    }
  }
}

}  // namespace ombrel

int main(int argc, char** argv) {
  return ombrel::serverMain(argc, argv);
}
