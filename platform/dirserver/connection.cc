#include "connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "dn.h"
#include "protocol.h"

namespace ombrel {
namespace {

struct SslDeleter {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// Buffered reads and whole writes over a socket, with or without TLS.
class Transport {
 public:
  Transport(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}

  bool readExact(size_t count, std::string* out) {
    while (buffer_.size() - offset_ < count) {
      if (offset_ > 0) {
        buffer_.erase(0, offset_);
        offset_ = 0;
      }
      char chunk[16384];
      ssize_t n =
          ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk) : recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && ssl_ == nullptr && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
    out->append(buffer_, offset_, count);
    offset_ += count;
    return true;
  }

  bool writeAll(const std::string& data) {
    if (data.empty())
      return false;
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = ssl_ != nullptr
                      ? SSL_write(ssl_, data.data() + done, static_cast<int>(data.size() - done))
                      : send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n < 0 && ssl_ == nullptr && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_;
  std::string buffer_;
  size_t offset_ = 0;
};

// Reads one LDAPMessage (tag, definite length, contents). False on end of
// input, a wrong outer tag, an indefinite or oversized length.
bool readPdu(Transport* transport, std::string* pdu) {
  pdu->clear();
  if (!transport->readExact(2, pdu) || static_cast<unsigned char>((*pdu)[0]) != 0x30) {
    return false;
  }
  size_t length = static_cast<unsigned char>((*pdu)[1]);
  if (length & 0x80) {
    size_t octets = length & 0x7f;
    if (octets == 0 || octets > 4 || !transport->readExact(octets, pdu))
      return false;
    length = 0;
    for (size_t i = 0; i < octets; ++i)
      length = (length << 8) | static_cast<unsigned char>((*pdu)[2 + i]);
  }
  if (length > kMaxPduBytes)
    return false;
  return transport->readExact(length, pdu);
}

class Session {
 public:
  Session(ServerState* state, Transport* transport, bool tls)
      : state_(state), transport_(transport), tls_(tls) {}

  // False when the connection must end.
  bool handle(const Request& request) {
    if (request.tag == kUnbindRequest)
      return false;
    if (request.tag == kAbandonRequest)
      return true;  // requests run one at a time
    OpResult result;
    if (request.tag == kBindRequest)
      is_admin_ = false;
    if (request.tag == kSearchRequest)
      return search(request);
    if (request.tag == kCompareRequest)
      return compare(request);
    int fault = injectedFault(request);
    if (fault >= 0) {
      result.code = fault;
      result.message = "refused by a test rule";
    } else {
      perform(request, &result);
    }
    logOperation(request, result);
    if (request.tag == kExtendedRequest) {
      return transport_->writeAll(encodeExtendedResult(request.message_id, result, ""));
    }
    return transport_->writeAll(
        encodeResult(request.message_id, responseTagFor(request.tag), result));
  }

 private:
  static const char* operationName(unsigned tag) {
    switch (tag) {
      case kBindRequest:
        return "bind";
      case kSearchRequest:
        return "search";
      case kAddRequest:
        return "add";
      case kDelRequest:
        return "delete";
      case kModifyRequest:
        return "modify";
      case kModDnRequest:
        return "modrdn";
      case kExtendedRequest:
        return "extended";
      case kCompareRequest:
        return "compare";
      default:
        return "other";
    }
  }

  // One line per request on stderr, so a failing test can show what the
  // server was asked and what it answered.
  static void logOperation(const Request& request, const OpResult& result) {
    const std::string& target = request.tag == kExtendedRequest ? request.oid : request.dn;
    std::fprintf(stderr, "ombrel-server: %s \"%s\" -> %d%s%s\n", operationName(request.tag),
                 target.c_str(), result.code, result.message.empty() ? "" : " ",
                 result.message.c_str());
  }

  int injectedFault(const Request& request) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const std::string& target = request.tag == kExtendedRequest ? request.oid : request.dn;
    return takeFault(&state_->faults, operationName(request.tag), target);
  }

  void perform(const Request& request, OpResult* result) {
    switch (request.tag) {
      case kBindRequest:
        bind(request, result);
        return;
      case kExtendedRequest:
        if (request.oid == kIndexCompletionOid || request.oid == kSchemaRefreshOid)
          return;
        fail(result, kProtocolError, "unsupported extended operation " + request.oid);
        return;
      default:
        break;
    }
    if (!is_admin_) {
      fail(result, kInsufficientAccessRights, "writes need an administrator bind");
      return;
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    Directory* dir = &state_->directory;
    switch (request.tag) {
      case kAddRequest:
        addEntry(dir, request.dn, request.attributes, result);
        break;
      case kDelRequest:
        deleteEntry(dir, request.dn, result);
        break;
      case kModifyRequest:
        modifyEntry(dir, request.dn, request.changes, result);
        break;
      case kModDnRequest:
        renameEntry(dir, request.dn, request.new_rdn, request.delete_old_rdn, request.new_superior,
                    result);
        break;
      default:
        fail(result, kProtocolError, "unsupported operation");
        break;
    }
  }

  void bind(const Request& request, OpResult* result) {
    if (request.version != 3) {
      fail(result, kProtocolError, "only LDAP version 3 is supported");
      return;
    }
    if (!request.simple) {
      fail(result, kAuthMethodNotSupported, "only simple binds are supported");
      return;
    }
    if (request.dn.empty()) {
      if (!request.password.empty())
        fail(result, kInvalidCredentials, "no DN given");
      return;
    }
    if (state_->refuse_cleartext_bind && !tls_) {
      fail(result, kConfidentialityRequired, "binds with a password need TLS");
      return;
    }
    if (request.password.empty()) {
      fail(result, kUnwillingToPerform, "unauthenticated bind refused");
      return;
    }
    std::string ndn;
    std::lock_guard<std::mutex> lock(state_->mutex);
    int rc = checkCredentials(state_->directory, request.dn, request.password, &ndn);
    if (rc != kSuccess) {
      fail(result, rc, rc == kInvalidDnSyntax ? "invalid DN" : "invalid credentials");
      return;
    }
    is_admin_ = state_->admins.count(ndn) > 0;
  }

  bool search(const Request& request) {
    std::vector<FoundEntry> found;
    OpResult result;
    int fault = injectedFault(request);
    if (fault >= 0) {
      fail(&result, fault, "refused by a test rule");
    } else {
      std::lock_guard<std::mutex> lock(state_->mutex);
      searchDirectory(state_->directory, request.search, &found, &result);
    }
    std::fprintf(stderr, "ombrel-server: search \"%s\" %s -> %d, %zu entries\n", request.dn.c_str(),
                 filterToString(request.search.filter).c_str(), result.code, found.size());
    for (const FoundEntry& entry : found) {
      if (!transport_->writeAll(encodeSearchEntry(request.message_id, entry)))
        return false;
    }
    return transport_->writeAll(encodeResult(request.message_id, kSearchResultDone, result));
  }

  bool compare(const Request& request) {
    SearchParams params;
    params.base = request.dn;
    params.filter.kind = Filter::kEquality;
    params.filter.attribute = request.assertion_type;
    params.filter.value = request.assertion_value;
    std::vector<FoundEntry> found;
    OpResult result;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      searchDirectory(state_->directory, params, &found, &result);
    }
    if (result.code == kSuccess)
      result.code = found.empty() ? kCompareFalse : kCompareTrue;
    logOperation(request, result);
    return transport_->writeAll(encodeResult(request.message_id, kCompareResponse, result));
  }

  ServerState* state_;
  Transport* transport_;
  bool tls_;
  bool is_admin_ = false;
};

}  // namespace

void serveConnection(ServerState* state, int fd, SSL_CTX* tls) {
  std::unique_ptr<SSL, SslDeleter> ssl;
  if (tls != nullptr) {
    ssl.reset(SSL_new(tls));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1 || SSL_accept(ssl.get()) != 1) {
      close(fd);
      return;
    }
  }
  Transport transport(fd, ssl.get());
  Session session(state, &transport, tls != nullptr);
  std::string pdu;
  while (readPdu(&transport, &pdu)) {
    Request request;
    if (decodeRequest(pdu, &request) != 0) {
      std::fprintf(stderr, "ombrel-server: malformed request, closing the connection\n");
      break;
    }
    if (!session.handle(request))
      break;
  }
  if (ssl)
    SSL_shutdown(ssl.get());
  close(fd);
}

}  // namespace ombrel
