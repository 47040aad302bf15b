// LDAP result codes the server answers with, and the result record every
// directory operation fills. Codes are the numeric values of RFC 4511.
#pragma once

#include <string>

namespace ombrel {

enum ResultCode : int {
  kSuccess = 0,
  kOperationsError = 1,
  kProtocolError = 2,
  kSizeLimitExceeded = 4,
  kCompareFalse = 5,
  kCompareTrue = 6,
  kAuthMethodNotSupported = 7,
  kConfidentialityRequired = 13,
  kNoSuchAttribute = 16,
  kUndefinedAttributeType = 17,
  kAttributeOrValueExists = 20,
  kInvalidAttributeSyntax = 21,
  kNoSuchObject = 32,
  kInvalidDnSyntax = 34,
  kInvalidCredentials = 49,
  kInsufficientAccessRights = 50,
  kUnwillingToPerform = 53,
  kNamingViolation = 64,
  kObjectClassViolation = 65,
  kNotAllowedOnNonLeaf = 66,
  kNotAllowedOnRdn = 67,
  kEntryAlreadyExists = 68,
  kOther = 80,
};

// What an operation reports back to the client: the code, the matched DN
// (for noSuchObject) and a diagnostic text.
struct OpResult {
  int code = kSuccess;
  std::string matched_dn;
  std::string message;
};

inline int fail(OpResult* result, int code, std::string message) {
  result->code = code;
  result->message = std::move(message);
  return code;
}

}  // namespace ombrel
