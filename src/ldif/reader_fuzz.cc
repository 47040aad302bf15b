// libFuzzer target for the LDIF reader: the input is read as a file, every
// record is split into logical lines and every line is parsed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "ldif/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  // fmemopen needs writable memory even for reading.
  std::vector<char> bytes(data, data + size);
  std::unique_ptr<FILE, FileCloser> file(fmemopen(bytes.data(), bytes.size(), "r"));
  if (file == nullptr) {
    return 0;
  }
  LdifRecord record;
  for (;;) {
    readLdifRecord(file.get(), &record);
    if (record.text == nullptr) {
      return 0;
    }
    size_t length = strlen(record.text.get());
    if (length >= record.capacity) {
      __builtin_trap();
    }
    char* cursor = record.text.get();
    while (char* line = nextLdifLine(&cursor)) {
      if (line < record.text.get() || line > record.text.get() + length) {
        __builtin_trap();
      }
      char* type = nullptr;
      char* value = nullptr;
      ber_len_t valueLength = 0;
      if (parseLdifLine(line, &type, &value, &valueLength) == 0) {
        BerText typeOwner(type);
        BerText valueOwner(value);
        if (type == nullptr || (value != nullptr && value[valueLength] != '\0') ||
            (value == nullptr && valueLength != 0) || valueLength > length) {
          __builtin_trap();
        }
      } else if (type != nullptr || value != nullptr || valueLength != 0) {
        __builtin_trap();
      }
    }
  }
}
