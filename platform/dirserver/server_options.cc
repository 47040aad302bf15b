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

}  // namespace

int parseOptions(int argc, char** argv, Options* options) {
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
  static const option kLong[] = {
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
  int port = 0;
  char* end = nullptr;
  for (int c; (c = getopt_long(argc, argv, "", kLong, nullptr)) != -1;) {
    switch (c) {
      case kListen:
        options->listen = optarg;
        break;
      case kLdapPort:
        if (!parsePort(optarg, &options->ldap_port))
          return usageError("bad --ldap-port");
        break;
      case kLdapsPort:
        if (!parsePort(optarg, &port))
          return usageError("bad --ldaps-port");
        options->ldaps_port = port;
        break;
      case kCert:
        options->cert = optarg;
        break;
      case kKey:
        options->key = optarg;
        break;
      case kLoad:
        options->load = optarg;
        break;
      case kDump:
        options->dump = optarg;
        break;
      case kAdmin:
        options->admins.push_back(optarg);
        break;
      case kVendor:
        options->vendor_version = std::string(optarg);
        break;
      case kNoVendor:
        options->vendor_version.reset();
        break;
      case kServerDn:
        options->server_dn = optarg;
        break;
      case kNoDsa:
        options->no_dsa_name = true;
        break;
      case kRefuse:
        options->refuse_cleartext_bind = true;
        break;
      case kFail:
        options->fail_rules.push_back(optarg);
        break;
      case kFailFile:
        options->fail_files.push_back(optarg);
        break;
      case kDelay:
        options->start_delay = std::strtod(optarg, &end);
        if (*optarg == '\0' || *end != '\0' || options->start_delay < 0) {
          return usageError("bad --start-delay");
        }
        break;
      case kPortFile:
        options->port_file = optarg;
        break;
      case kHelp:
        std::fputs(kUsage, stdout);
        return 1;
      default:
        return usageError("unknown option");
    }
  }
  if (optind != argc)
    return usageError(std::string("unexpected argument ") + argv[optind]);
  if (options->ldaps_port && (options->cert.empty() || options->key.empty())) {
    return usageError("--ldaps-port needs --cert and --key");
  }
  return 0;
}

}  // namespace ombrel
