#include "kiv_keys.h"

#include <strings.h>

#include <array>
#include <charconv>

namespace kiv {
namespace {

using enum ParameterKind;

constexpr long kMaxPort = 65535;
constexpr long kMaxHashSize = 1000003;
constexpr long kMaxSeconds = 2147483647;

constexpr std::array<Parameter, 24> kParameters{{
    {"admin-fdn", kUtf8Text, 0, 0, "", "", translatable("the directory administrator's name")},
    {"base-name", kUtf8Text, 0, 0, "", "",
     translatable("the partition root, the context holding the accounts")},
    {"ldap-port", kInteger, 1, kMaxPort, "", "389",
     translatable("the directory server's clear-text port")},
    {"ldap-ssl-port", kInteger, 1, kMaxPort, "", "636",
     translatable("the directory server's SSL port")},
    {"certificate-file-type", kChoice, 0, 0, "der", "der",
     translatable("the format of the stored server certificate")},
    {"preferred-server", kText, 0, 0, "", "",
     translatable("the directory server the services ask first")},
    {"schema", kChoice, 0, 0, "rfc2307|corvex", "rfc2307",
     translatable("the schema flavour of the account objects")},
    {"alternative-ldap-server-list", kText, 0, 0, "", "",
     translatable("the servers to ask when the preferred server does not answer")},
    {"num-threads", kInteger, 1, 256, "", "5",
     translatable("the number of threads of the caching daemon")},
    {"enable-persistent-cache", kYesNo, 0, 0, "", "yes",
     translatable("whether the cache is kept on disk across daemon restarts")},
    {"enable-boma", kYesNo, 0, 0, "", "no",
     translatable("whether the daemon keeps its memory cache when the persistent cache is off")},
    {"cache-only", kYesNo, 0, 0, "", "no",
     translatable(
         "whether accounts are served from the cache alone, without asking the directory")},
    {"persistent-search", kYesNo, 0, 0, "", "yes",
     translatable("whether directory changes are followed with a persistent search")},
    {"case-sensitive", kYesNo, 0, 0, "", "no",
     translatable("whether user and group names are compared with regard to case")},
    {"user-hash-size", kInteger, 1, kMaxHashSize, "", "211",
     translatable("the number of buckets of the user cache")},
    {"group-hash-size", kInteger, 1, kMaxHashSize, "", "211",
     translatable("the number of buckets of the group cache")},
    {"persistent-cache-refresh-period", kInteger, 0, kMaxSeconds, "", "28800",
     translatable("the seconds between refreshes of the persistent cache")},
    {"persistent-cache-refresh-flag", kChoice, 0, 0, "all|user|group", "all",
     translatable("which entries a refresh of the persistent cache renews")},
    {"type-of-authentication", kInteger, 1, 2, "", "1",
     translatable("how the services connect to the directory: 1 clear text, 2 SSL")},
    {"create-home", kYesNo, 0, 0, "", "yes",
     translatable("whether a user's home directory is created at the first login")},
    {"support-alias-name", kYesNo, 0, 0, "", "no",
     translatable("whether alias entries are resolved to the accounts they name")},
    {"support-outside-base-context", kYesNo, 0, 0, "", "yes",
     translatable("whether accounts outside the partition root are served")},
    {"proxy-user-fdn", kUtf8Text, 0, 0, "", "", translatable("the user the services bind as")},
    {"proxy-user-pwd", kSecret, 0, 0, "", "", translatable("the proxy user's password")},
}};

constexpr std::array<std::string_view, 11> kIntegerKeys{
    "ldap-port",
    "ldap-ssl-port",
    "num-threads",
    "user-hash-size",
    "group-hash-size",
    "persistent-cache-refresh-period",
    "type-of-authentication",
    "t3v.qup.num-threads",
    "t3v.qup.user-hash-size",
    "t3v.qup.group-hash-size",
    "t3v.qup.persistent-cache-refresh-period",
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

std::span<const Parameter> parameterTable() {
  return kParameters;
}

const Parameter* findParameter(std::string_view name) {
  for (const Parameter& parameter : kParameters) {
    if (equalsIgnoringCase(parameter.name, name)) {
      return &parameter;
    }
  }
  return nullptr;
}

bool isIntegerKey(std::string_view key) {
  for (std::string_view integerKey : kIntegerKeys) {
    if (integerKey == key) {
      return true;
    }
  }
  return false;
}

bool parseDecimalInt(std::string_view text, int& value) {
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  if (text.empty()) {
    return false;
  }
  // from_chars takes "-" but not "+".
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  int parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) {
    return false;
  }
  value = parsed;
  return true;
}

bool matchChoice(std::string_view choices, std::string_view value, std::string_view& canonical) {
  for (;;) {
    size_t bar = choices.find('|');
    std::string_view choice = choices.substr(0, bar);
    if (equalsIgnoringCase(choice, value)) {
      canonical = choice;
      return true;
    }
    if (bar == std::string_view::npos) {
      return false;
    }
    choices.remove_prefix(bar + 1);
  }
}

}  // namespace kiv
