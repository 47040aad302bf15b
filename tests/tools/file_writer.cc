// file-writer store PATH KEY VALUE | file-writer replace PATH SOURCE
//
// One store save or certificate write (mode 0644) as the program makes it,
// for the crash tests. Exits 0, or 1 after printing why.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "base/file_io.h"
#include "kiv.h"

namespace {

int cannot(const char* what, const char* path) {
  fprintf(stderr, "file-writer: cannot %s %s: %s\n", what, path, strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && strcmp(argv[1], "store") == 0) {
    kivSetConfigFile(argv[2]);  // returns 0, as kivEndConfig does
    if (kivSetParam(argv[3], argv[4]) != 1 || kivSaveConfig(0) != 0)
      return cannot("save", argv[2]);
    return kivEndConfig();
  }
  if (argc == 4 && strcmp(argv[1], "replace") == 0) {
    std::ifstream in(argv[3], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (!in.is_open() || in.bad())
      return cannot("read", argv[3]);
    if (replaceFile(argv[2], bytes.data(), bytes.size(), 0644) != 0)
      return cannot("replace", argv[2]);
    return 0;
  }
  fputs("usage: file-writer store PATH KEY VALUE | file-writer replace PATH SOURCE\n", stderr);
  return 2;
}
