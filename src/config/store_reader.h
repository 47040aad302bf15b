// Reading single values of the configuration store.
//
// A value counts as present only when the library answers exactly 1. The
// buffers are large enough for every value the program itself stores (the
// writers refuse longer ones), so what was written can always be read back.
#ifndef KIVCONFIG_CONFIG_STORE_READER_H_
#define KIVCONFIG_CONFIG_STORE_READER_H_

#include <cstddef>
#include <optional>
#include <string>

// Text values of the store hold at most this many bytes, NUL included.
constexpr size_t kStoreValueSize = 4096;

std::optional<std::string> readStoreText(const char* key);

// DN-valued keys, read in UTF-8.
std::optional<std::string> readStoreDn(const char* key);

std::optional<int> readStoreInteger(const char* key);

#endif  // KIVCONFIG_CONFIG_STORE_READER_H_
