// Where the program keeps and finds its files on the host.
#ifndef KIVCONFIG_BASE_PATHS_H_
#define KIVCONFIG_BASE_PATHS_H_

constexpr const char* kStateDir = "/var/lib/velmar-pelk";
constexpr const char* kLogFile = "/var/lib/velmar-pelk/kiv.log";
constexpr const char* kConfigFile = "/etc/kiv.conf";
constexpr const char* kOldConfigFile = "/etc/vrd.conf";
// The schema files, installed in kStateDir.
constexpr const char* kSchemaFileName = "kiv.ldif";
constexpr const char* kUniqueIdSchemaFileName = "kivid.ldif";
constexpr const char* kUtilityInputFile = "/var/lib/velmar-pelk/kivutils.inp";

#endif  // KIVCONFIG_BASE_PATHS_H_
