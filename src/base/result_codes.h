// Result codes.
//
// A result code is 0 for success, kAlreadyReported when the failing step has
// printed its own message, one of the program's codes below, or an LDAP
// result code passed up unchanged (see ldap_error.h). Only the front end
// turns codes into messages.
#ifndef KIVCONFIG_BASE_RESULT_CODES_H_
#define KIVCONFIG_BASE_RESULT_CODES_H_

constexpr int kAlreadyReported = -5999;
constexpr int kNotConfigured = -6004;
constexpr int kCannotContactServer = -6009;
constexpr int kNoWorkstationContext = -6015;
constexpr int kNotAContainer = -6016;
constexpr int kCannotReadSchema = -6017;
constexpr int kSchemaFileMissing = -6018;
constexpr int kUniqueIdSchemaFileMissing = -6019;
constexpr int kOutOfMemory = -6020;
constexpr int kUnknownContainer = -6021;
constexpr int kCertificateFileOpen = -6022;
constexpr int kCertificateFileWrite = -6023;
constexpr int kNoSslPort = -6024;
// The LDIF processor ran out of memory; shown as a failed schema update.
constexpr int kLdifOutOfMemory = -6025;
constexpr int kNoOldBaseName = -6026;
constexpr int kNoConfigObjectCorvex = -6027;
constexpr int kUpgradeNoWorkstationContext = -6028;
constexpr int kUpgradeNoWorkstationObject = -6029;

#endif  // KIVCONFIG_BASE_RESULT_CODES_H_
