// libFuzzer target for the LDIF reader: the input is read as a file, every
// record is split into logical lines and every line is parsed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "ldif/reader.h"

namespace {

void checkLine(const LdifRecord& record, const LdifLine& line) {
  if (line.text < record.text || line.text + line.length > record.end ||
      line.text[line.length] != '\0' ||
      line.holdsNul != (memchr(line.text, '\0', line.length) != nullptr)) {
    __builtin_trap();
  }
  LdifField field;
  if (parseLdifLine(line, &field) != 0) {
    if (field.type != nullptr || field.value != nullptr || field.valueLength != 0) {
      __builtin_trap();
    }
    return;
  }
  if (field.type == nullptr || field.type[field.typeLength] != '\0' ||
      field.typeLength > line.length || field.valueLength > line.length ||
      (field.value != nullptr && field.value[field.valueLength] != '\0') ||
      (field.value == nullptr && field.valueLength != 0)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = memfd_create("ldif", MFD_CLOEXEC);
  if (fd < 0) {
    return 0;
  }
  if (write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return 0;
  }
  LdifInput input;
  input.fd = fd;
  LdifRecord record;
  while (readLdifRecord(&input, &record) == LdifReadResult::kRecord) {
    if (record.text >= record.end || *record.end != '\0' ||
        (record.nul != nullptr && record.nul != record.end - 1)) {
      __builtin_trap();
    }
    const LdifRecord whole = record;
    LdifLine line;
    while (nextLdifLine(&record, &line)) {
      checkLine(whole, line);
    }
  }
  close(fd);
  return 0;
}
