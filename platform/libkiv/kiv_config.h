// The library's own view of the current store file, for the parameter
// commands.
#ifndef KIV_CONFIG_H_
#define KIV_CONFIG_H_

#include <string>
#include <string_view>

namespace kiv {

// The file that gets and sets act on.
const std::string& currentConfigPath();

// Loads the current file unless it is loaded. Returns 0, or -1 with errno set.
int loadCurrentFile();

// The current value of `key` as stored. Returns 1 when found, 0 when not, -1
// (errno set) when the file cannot be read.
int findCurrentValue(std::string_view key, std::string& value);

}  // namespace kiv

#endif  // KIV_CONFIG_H_
