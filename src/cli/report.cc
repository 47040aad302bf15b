#include "cli/report.h"

#include <fcntl.h>
#include <ldap.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/ldap_error.h"
#include "base/log.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/run_settings.h"
#include "kiv.h"

namespace {

struct CodeMessage {
  int code;
  const char* terminal;
  const char* log;  // nullptr: the terminal text
};

constexpr CodeMessage kCodeMessages[] = {
    {kNotConfigured, translatable("Velmar Account Management is not configured\n"), nullptr},
    {kCannotContactServer, translatable("Unable to contact the directory server\n"),
     "Unable to contact the server\n"},
    {kNoWorkstationContext,
     translatable("Could not get the workstation context from config object.\n"), nullptr},
    {kNotAContainer, translatable("Not a container object\n"), nullptr},
    {kCannotReadSchema, translatable("Unable to read the schema\n"), nullptr},
    {kSchemaFileMissing, translatable("Schema file not found\n"), nullptr},
    {kUniqueIdSchemaFileMissing, translatable("Schema file not found\n"), nullptr},
    {kUnknownContainer, translatable("Unknown container object\n"), nullptr},
    {kCertificateFileOpen, translatable("Error opening the certificiate file\n"), nullptr},
    {kCertificateFileWrite, translatable("Error writing into certificiate file\n"), nullptr},
    {kNoSslPort, translatable("Error reading the LDAP SSL port\n"), nullptr},
    {kLdifOutOfMemory, translatable("Error updating the schema\n"), nullptr},
    {kNoOldBaseName,
     translatable("Upgrade failed. Unable to read the base-name from /etc/vrd.conf file.\n"
                  "Please check whether it is configured already or not.\n"),
     nullptr},
    {kNoConfigObjectCorvex,
     translatable(
         "Unable to read the Configuration object  from the Ombrel(version 8.0). If the attribute "
         "and class mappings are not there it may not work properly against Ombrel version 8.0. "
         "Please check whether you configured Velmar Account Management product or not in this "
         "machine.\n"),
     "Unable to read the Configuration object  from the Ombrel(version 8.0). It may not work "
     "properly against Ombrel version 8.0. Also check whether you configured Velmar Account "
     "Management product or not in this machine.\n"},
    {kUpgradeNoWorkstationContext,
     translatable(
         "Upgrade failed. Unable to read the workstation context, check whether KIV is configured "
         "already or not.\n"),
     "Upgrade failed. Unable to read the workstation context, check whether the machine is "
     "configured already or not.\n"},
    {kUpgradeNoWorkstationObject,
     translatable(
         "Upgrade failed. Unable to read the Unix workstation object, Please check whether KIV is "
         "already configured or not.\n"),
     "Upgrade failed. Unable to read the Unix workstation object, Please check whether QUP is "
     "already configured or not.\n"},
};

struct SuccessMessage {
  const char* terminal;
  const char* log;
};

SuccessMessage successMessage() {
  switch (runSettings.command) {
    case Command::kAdd:
      return {translatable("Configure done successfully.\n"), "Configure done successfully.\n"};
    case Command::kRemove:
      return {translatable("Deconfigure done successfully.\n"), "Deconfigure done successfully.\n"};
    case Command::kUpgrade:
      return {translatable("Upgrade done successfully.\n"), "Upgrade done successfully.\n"};
    case Command::kFetchCertificate:
      return {translatable("Certicate file updated sucessfully\n"),
              "Certicate file got sucessfully\n"};
    default:
      return {nullptr, nullptr};
  }
}

}  // namespace

int reportResult(Host& host, int code, const std::string& successDetails) {
  if (code == 0) {
    SuccessMessage success = successMessage();
    if (success.log != nullptr)
      host.log(success.log);
    if (success.terminal != nullptr)
      fputs(tr(success.terminal), stdout);
    fputs(successDetails.c_str(), stdout);
  } else if (code != kAlreadyReported) {
    const CodeMessage* known = nullptr;
    for (const CodeMessage& entry : kCodeMessages) {
      if (entry.code == code)
        known = &entry;
    }
    if (known != nullptr) {
      fputs(tr(known->terminal), stdout);
      host.log(known->log != nullptr ? known->log : known->terminal);
    } else {
      printf(tr("Error:%s\n"), ldapErrorText(code));
      host.log(ldapErrorText(code));
    }
  }
  fflush(stdout);
  t3v_i18n_exit();
  return code;
}

void printUsage(int status) {
  const char* name = "kivconfig";
  // Asked-for help is the command's output; a refused command line is an error.
  FILE* stream = status == 0 ? stdout : stderr;
  fprintf(stream,
          tr("Usage:\n %s  add -a <admin_fdn> -p <password> -r <base_context> \n \t\t-w "
             "<server/workstation_context> [-o] [-c] -S <LDAP_server[:port]> \n\t\t[-l <SSL "
             "port>] [-R <alternative_LDAP_server1[:port],<alternative_LDAP_server2[:port],...>]\n "
             "\t\t[-y <proxy_user_fdn> -d <proxy_user_password>] \n %s  simple_add -r "
             "<base_context> [-o]  [-c] -S <LDAP_server[:port]> \n\t\t[-l <SSL port>] [-R "
             "<alternative_LDAP_server1[:port],<alternative_LDAP_server2[:port],...>]\n \t\t[-y "
             "<proxy_user_fdn> -d <proxy_user_password>] \n %s rm -a <admin_fdn>\n %s upgrade [-a "
             "<admin_fdn>]\n %s set <value list>\n %s get <value list>\n %s get help <value "
             "list>\n %s -k\n %s cache_refresh\n"),
          name, name, name, name, name, name, name, name, name);
  fputs(tr(" Without -p, the admin's password comes from PELK_PWD or a prompt; without -d,\n"
           " the proxy user's password comes from PELK_PROXY_PWD.\n"),
        stream);
  exit(status);
}

void printVersion() {
  printf("kivconfig %s\n", KIV_VERSION);
  exit(0);
}
