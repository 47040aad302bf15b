// file-writer store PATH KEY VALUE
// file-writer replace PATH SOURCE
//
// One write of the kind the program makes, for the crash tests: "store" sets
// the text key KEY to VALUE in the store at PATH and saves it as the
// configuration writers do; "replace" puts the bytes of SOURCE at PATH as a
// certificate is written (mode 0644). Exits 0, or 1 after printing why.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "base/file_io.h"
#include "kiv.h"

namespace {

int saveStoreValue(const char* path, const char* key, const char* value) {
  kivSetConfigFile(path);
  if (kivSetParam(key, value) != 1 || kivSaveConfig(0) != 0) {
    fprintf(stderr, "file-writer: cannot save %s: %s\n", path, strerror(errno));
    return 1;
  }
  kivEndConfig();
  return 0;
}

int replaceWith(const char* path, const char* source) {
  std::ifstream in(source, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    fprintf(stderr, "file-writer: cannot read %s\n", source);
    return 1;
  }
  if (replaceFile(path, bytes.data(), bytes.size(), 0644) != 0) {
    fprintf(stderr, "file-writer: cannot replace %s: %s\n", path, strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && strcmp(argv[1], "store") == 0)
    return saveStoreValue(argv[2], argv[3], argv[4]);
  if (argc == 4 && strcmp(argv[1], "replace") == 0)
    return replaceWith(argv[2], argv[3]);
  fputs("usage: file-writer store PATH KEY VALUE | file-writer replace PATH SOURCE\n", stderr);
  return 2;
}
