// The commands of kivconfig. Each holds its command's whole order of steps
// and returns a result code for the front end to report. They reach the
// machine through `host` and the directory through `connector`; they read
// the run settings and complete them with what they load from the store.
#ifndef KIVCONFIG_COMMANDS_COMMANDS_H_
#define KIVCONFIG_COMMANDS_COMMANDS_H_

#include <string>

#include "base/host.h"
#include "directory/session.h"

// add: joins the host to the directory and configures it.
int runAdd(Host& host, DirectoryConnector& connector);

// upgrade: joins a host that the older client configured, keeping its
// existing objects and its cache tuning values.
int upgradeFromOldConfig(Host& host, DirectoryConnector& connector);

// rm: takes the host's objects out of the directory, stops the daemons and
// removes the local files.
int deconfigure(Host& host, DirectoryConnector& connector);

// simple_add: writes the store and restarts the daemons, without any
// directory work.
int runSimpleAdd(Host& host);

// get, get help and set over the store; `mode` and the NULL-terminated
// `words` as the front end parsed them. A preferred-server word is stored
// here and restarts the daemons; every other word goes to the support
// library. Returns 0, or -5999 after the failure was reported.
int runParameterCommand(Host& host, char mode, char** words);

// -k: fetches the server's certificate over SSL and stores it.
// `details` receives the fingerprint lines shown after the success message.
int fetchServerCertificate(Host& host, DirectoryConnector& connector, std::string& details);

// cache_refresh: empties kivcd's cache with kivcd stopped, and starts kivcd
// again when it was running. Returns 0.
int refreshCache(Host& host);

#endif  // KIVCONFIG_COMMANDS_COMMANDS_H_
