// LDAPv3 message codec (RFC 4511) on liblber.
//
// decodeRequest takes one complete LDAPMessage and returns 0, or -1 when it
// is malformed (the connection is then closed). The encode* functions
// return the complete response PDU, or an empty string when liblber cannot
// allocate (the caller closes the connection).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory.h"
#include "result_codes.h"

namespace ombrel {

enum RequestTag : unsigned {
  kBindRequest = 0x60,
  kUnbindRequest = 0x42,
  kSearchRequest = 0x63,
  kModifyRequest = 0x66,
  kAddRequest = 0x68,
  kDelRequest = 0x4a,
  kModDnRequest = 0x6c,
  kCompareRequest = 0x6e,
  kAbandonRequest = 0x50,
  kExtendedRequest = 0x77,
};

enum ResponseTag : unsigned {
  kBindResponse = 0x61,
  kSearchResultEntry = 0x64,
  kSearchResultDone = 0x65,
  kModifyResponse = 0x67,
  kAddResponse = 0x69,
  kDelResponse = 0x6b,
  kModDnResponse = 0x6d,
  kCompareResponse = 0x6f,
  kExtendedResponse = 0x78,
};

struct Request {
  int message_id = 0;
  unsigned tag = 0;
  std::string dn;  // bind name, target entry, search base
  // bind
  int version = 0;
  bool simple = true;
  std::string password;
  // search
  SearchParams search;
  // add
  std::vector<Attribute> attributes;
  // modify
  std::vector<Change> changes;
  // modify DN
  std::string new_rdn;
  bool delete_old_rdn = true;
  std::optional<std::string> new_superior;
  // compare
  std::string assertion_type;
  std::string assertion_value;
  // extended
  std::string oid;
  std::optional<std::string> value;
  // abandon
  int abandon_id = 0;
};

int decodeRequest(std::string_view pdu, Request* request);

std::string encodeResult(int message_id, unsigned response_tag, const OpResult& result);
std::string encodeExtendedResult(int message_id, const OpResult& result,
                                 const std::string& response_oid);
std::string encodeSearchEntry(int message_id, const FoundEntry& entry);

// The response tag that answers a request tag; 0 for requests without one.
unsigned responseTagFor(unsigned request_tag);

}  // namespace ombrel
