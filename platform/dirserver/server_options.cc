#include "server_options.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>

namespace ombrel {
namespace {

const char kUsage[] =
    "Usage: ombrel-server [options]\n"
    "A directory server speaking LDAPv3, for tests of the account-services tools.\n"
    "\n"
    "  --listen ADDR          address to listen on (default 127.0.0.1)\n"
    "  --ldap-port N          clear-text LDAP port; 0 picks a free port (default 0)\n"
    "  --ldaps-port N         LDAPS port; 0 picks a free port; without it, no TLS port\n"
    "  --cert FILE            PEM certificate (chain) for LDAPS\n"
    "  --key FILE             PEM private key for LDAPS\n"
    "  --load FILE            load the initial tree from LDIF content records; a\n"
    "                         \"cn=schema\" record adds (or replaces) definitions\n"
    "  --dump FILE            write the whole tree as sorted LDIF at exit and on SIGUSR1\n"
    "  --admin DN             an administrator (repeatable); the entry must exist and\n"
    "                         hold a userPassword; only administrators may write\n"
    "  --vendor-version TEXT  root DSE vendorVersion (default \"Ombrel 8.8 SP8\")\n"
    "  --no-vendor-version    leave vendorVersion out of the root DSE\n"
    "  --server-dn DN         the server's own entry, shown as dsaName; created as a\n"
    "                         vrdServer under its parent when it is not in the tree;\n"
    "                         without it there is no dsaName\n"
    "  --no-dsa-name          leave dsaName out of the root DSE\n"
    "  --refuse-cleartext-bind  answer 13 to a bind with a DN on a connection without TLS\n"
    "  --fail RULE            answer a result code instead of doing an operation\n"
    "                         (repeatable): OPERATION:DN:CODE[:COUNT], OPERATION one of\n"
    "                         bind search add delete modify modrdn extended any; DN \"*\"\n"
    "                         for any DN, the request OID for extended; COUNT limits\n"
    "                         how often the rule fires\n"
    "  --fail-file FILE       more rules, one per line, \"#\" starts a comment\n"
    "  --start-delay SECONDS  open the ports only after this delay\n"
    "  --port-file FILE       once listening, write \"ldap=N\\nldaps=N\\n\" (atomically)\n"
    "  --help                 show this text\n"
    "\n"
    "Signals: SIGTERM and SIGINT write --dump and exit; SIGUSR1 writes --dump.\n"
    "Exit status: 0 after a clean stop, 1 on a start-up or dump error, 2 on usage errors.\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "ombrel-server: %s\nTry ombrel-server --help.\n", message.c_str());
  return 2;
}

bool parsePort(const char* text, int* port) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 0 || value > 65535)
    return false;
  *port = static_cast<int>(value);
  return true;
}

enum {
  kListen = 256,
  kLdapPort,
  kLdapsPort,
  kCert,
  kKey,
  kLoad,
  kDump,
  kAdmin,
  kVendor,
  kNoVendor,
  kServerDn,
  kNoDsa,
  kRefuse,
  kFail,
  kFailFile,
  kDelay,
  kPortFile,
  kHelp
};
constexpr option kLong[] = {
    {"listen", required_argument, nullptr, kListen},
    {"ldap-port", required_argument, nullptr, kLdapPort},
    {"ldaps-port", required_argument, nullptr, kLdapsPort},
    {"cert", required_argument, nullptr, kCert},
    {"key", required_argument, nullptr, kKey},
    {"load", required_argument, nullptr, kLoad},
    {"dump", required_argument, nullptr, kDump},
    {"admin", required_argument, nullptr, kAdmin},
    {"vendor-version", required_argument, nullptr, kVendor},
    {"no-vendor-version", no_argument, nullptr, kNoVendor},
    {"server-dn", required_argument, nullptr, kServerDn},
    {"no-dsa-name", no_argument, nullptr, kNoDsa},
    {"refuse-cleartext-bind", no_argument, nullptr, kRefuse},
    {"fail", required_argument, nullptr, kFail},
    {"fail-file", required_argument, nullptr, kFailFile},
    {"start-delay", required_argument, nullptr, kDelay},
    {"port-file", required_argument, nullptr, kPortFile},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

// The options that keep their argument as it is; false for any other.
bool takePlainOption(int c, Options* options) {
  switch (c) {
    case kListen:
      options->listen = optarg;
      return true;
    case kCert:
      options->cert = optarg;
      return true;
    case kKey:
      options->key = optarg;
      return true;
    case kLoad:
      options->load = optarg;
      return true;
    case kDump:
      options->dump = optarg;
      return true;
    case kAdmin:
      options->admins.push_back(optarg);
      return true;
    case kVendor:
      options->vendor_version = std::string(optarg);
      return true;
    case kServerDn:
      options->server_dn = optarg;
      return true;
    case kFail:
      options->fail_rules.push_back(optarg);
      return true;
    case kFailFile:
      options->fail_files.push_back(optarg);
      return true;
    case kPortFile:
      options->port_file = optarg;
      return true;
  }
  return false;
}

// The other options: 0, or parseOptions' 1 after --help or 2 after a
// usage error.
int takeCheckedOption(int c, Options* options) {
  int port = 0;
  char* end = nullptr;
  switch (c) {
    case kLdapPort:
      return parsePort(optarg, &options->ldap_port) ? 0 : usageError("bad --ldap-port");
    case kLdapsPort:
      if (!parsePort(optarg, &port))
        return usageError("bad --ldaps-port");
      options->ldaps_port = port;
      return 0;
    case kNoVendor:
      options->vendor_version.reset();
      return 0;
    case kNoDsa:
      options->no_dsa_name = true;
      return 0;
    case kRefuse:
      options->refuse_cleartext_bind = true;
      return 0;
    case kDelay:
      options->start_delay = std::strtod(optarg, &end);
      if (*optarg == '\0' || *end != '\0' || options->start_delay < 0)
        return usageError("bad --start-delay");
      return 0;
    case kHelp:
      std::fputs(kUsage, stdout);
      return 1;
    default:
      return usageError("unknown option");
  }
}

}  // namespace

int parseOptions(int argc, char** argv, Options* options) {
  for (int c; (c = getopt_long(argc, argv, "", kLong, nullptr)) != -1;) {
    if (takePlainOption(c, options))
      continue;
    int status = takeCheckedOption(c, options);
    if (status != 0)
      return status;
  }
  if (optind != argc)
    return usageError(std::string("unexpected argument ") + argv[optind]);
  if (options->ldaps_port && (options->cert.empty() || options->key.empty())) {
    return usageError("--ldaps-port needs --cert and --key");
  }
  return 0;
}

}  // namespace ombrel
