#include "config/store_reader.h"

#include <vector>

#include "kiv.h"

std::optional<std::string> readStoreText(const char* key) {
  std::vector<char> value(kStoreValueSize);
  if (kivGetParam(key, value.data(), static_cast<int>(value.size())) != 1)
    return std::nullopt;
  return std::string(value.data());
}

std::optional<std::string> readStoreDn(const char* key) {
  std::vector<char> value(kStoreValueSize);
  if (kivGetParamWithFlags(key, value.data(), static_cast<int>(value.size()), KIV_FLAG_UTF8_DN) !=
      1) {
    return std::nullopt;
  }
  return std::string(value.data());
}

std::optional<int> readStoreInteger(const char* key) {
  int value = 0;
  if (kivGetParam(key, &value, sizeof value) != 1)
    return std::nullopt;
  return value;
}
