#include "config/client_config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/log.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/result_codes.h"
#include "base/run_settings.h"

namespace {

// Sets keys one by one and remembers the first that the store refused, so
// that nothing is saved from a half-written key table.
class StoreWriter {
 public:
  explicit StoreWriter(Host& host) : host_(host) {}
  void text(const char* key, const std::string& value) {
    check(key, host_.setStoreText(key, value, false));
  }
  void utf8Dn(const char* key, const std::string& value) {
    check(key, host_.setStoreText(key, value, true));
  }
  void integer(const char* key, int value) { check(key, host_.setStoreInteger(key, value)); }
  void value(const StoreValue& value) {
    if (value.integer)
      integer(value.key, *value.integer);
    else
      text(value.key, value.text);
  }

  // Saves and ends the store. Returns 0, or 1 after reporting the failure.
  int finish() { return finishStoreUpdate(host_, refusedKey_); }

 private:
  void check(const char* key, bool stored) {
    if (!stored && refusedKey_ == nullptr)
      refusedKey_ = key;
  }
  Host& host_;
  const char* refusedKey_ = nullptr;
};

const char* yesNo(bool yes) {
  return yes ? "yes" : "no";
}

bool proxyUserGiven() {
  return runSettings.proxyUserFdn.has_value() && runSettings.proxyUserPassword.has_value();
}

void writeSslKeys(StoreWriter& store) {
  if (runSettings.sslFlag == 0)
    return;
  store.integer("ldap-ssl-port", runSettings.sslPort);
  store.text("certificate-file-type", "der");
}

void writeProxyUser(StoreWriter& store) {
  if (!proxyUserGiven())
    return;
  store.text("proxy-user-fdn", *runSettings.proxyUserFdn);
  store.text("proxy-user-pwd", *runSettings.proxyUserPassword);
}

void writeCacheTuning(StoreWriter& store) {
  store.integer("user-hash-size", 211);
  store.integer("group-hash-size", 211);
  store.integer("persistent-cache-refresh-period", 28800);
  store.text("persistent-cache-refresh-flag", "all");
  store.integer("type-of-authentication", runSettings.sslFlag != 0 ? 2 : 1);
  store.text("create-home", "yes");
  store.text("support-alias-name", "no");
  store.text("support-outside-base-context", "yes");
}

}  // namespace

int finishStoreUpdate(Host& host, const char* refusedKey) {
  if (refusedKey != nullptr) {
    host.endStore();
    printAndLog(host, "The value of %s cannot be stored in %s\n", refusedKey, kConfigFile);
    return 1;
  }
  int saveError = host.saveStore();
  host.endStore();
  if (saveError != 0) {
    // The store reports a path that is neither a regular file nor a
    // directory (a FIFO, a device) as EINVAL.
    if (saveError == EINVAL)
      printAndLog(host, "Unable to save %s: not a regular file\n", kConfigFile);
    else
      printAndLogSystemError(host, "Unable to save %s: %s\n", kConfigFile, saveError);
    return 1;
  }
  return 0;
}

int writeClientConfig(Host& host, const std::vector<StoreValue>& extra) {
  StoreWriter store(host);
  store.utf8Dn("admin-fdn", runSettings.adminFdn.value_or(""));
  store.utf8Dn("base-name", runSettings.partitionRoot.value_or(""));
  store.integer("ldap-port", runSettings.ldapPort);
  writeSslKeys(store);
  store.text("preferred-server", runSettings.ldapServer.value_or(""));
  store.text("schema", "rfc2307");
  if (runSettings.alternativeServerList) {
    store.text("alternative-ldap-server-list", *runSettings.alternativeServerList);
  }
  store.integer("num-threads", 5);
  bool persistentCacheOff = runSettings.persistentCacheOffCount != 0;
  store.text("enable-persistent-cache", yesNo(!persistentCacheOff));
  if (persistentCacheOff)
    store.text("enable-boma", "yes");
  store.text("cache-only", yesNo(runSettings.cacheOnlyCount != 0));
  store.text("persistent-search", "yes");
  store.text("case-sensitive", "no");
  writeCacheTuning(store);
  writeProxyUser(store);
  for (const StoreValue& value : extra)
    store.value(value);
  return store.finish();
}

int writeSimpleClientConfig(Host& host) {
  StoreWriter store(host);
  store.utf8Dn("base-name", runSettings.partitionRoot.value_or(""));
  store.integer("ldap-port", runSettings.ldapPort);
  writeSslKeys(store);
  store.text("preferred-server", runSettings.ldapServer.value_or(""));
  store.text("schema", "rfc2307");
  if (runSettings.alternativeServerList) {
    store.text("alternative-ldap-server-list", *runSettings.alternativeServerList);
  }
  store.integer("num-threads", 5);
  store.text("enable-persistent-cache", "yes");
  writeCacheTuning(store);
  writeProxyUser(store);
  store.text("cache-only", yesNo(runSettings.cacheOnlyCount != 0));
  store.text("persistent-search", "yes");
  store.text("case-sensitive", "no");
  return store.finish();
}

int storePreferredServer(Host& host, const char* server) {
  StoreWriter store(host);
  store.text("preferred-server", server);
  return store.finish();
}
