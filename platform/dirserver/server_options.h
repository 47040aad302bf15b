// The command line of ombrel-server: the options and their parser. The
// --help text here is the reference for every option.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ombrel {

struct Options {
  std::string listen = "127.0.0.1";
  int ldap_port = 0;
  std::optional<int> ldaps_port;
  std::string cert;
  std::string key;
  std::string load;
  std::string dump;
  std::vector<std::string> admins;
  std::optional<std::string> vendor_version = std::string("Ombrel 8.8 SP8");
  std::string server_dn;
  bool no_dsa_name = false;
  bool refuse_cleartext_bind = false;
  std::vector<std::string> fail_rules;
  std::vector<std::string> fail_files;
  double start_delay = 0;
  std::string port_file;
};

// 0 to run, 1 after --help (printed), 2 on a usage error (reported).
int parseOptions(int argc, char** argv, Options* options);

}  // namespace ombrel
