// locs2utfs, utfs2locs and the i18n start-up calls of kiv.h.
#include "kiv_charset.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <limits.h>
#include <string.h>

#include "kiv.h"

namespace kiv {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  ~IconvHandle() {
    if (valid()) {
      iconv_close(cd_);
    }
  }
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// One iconv step into the free space of `output`, growing it on E2BIG. A
// null `input` flushes the shift state. Returns 0 or -1 with errno set.
int convertStep(iconv_t cd, char** input, size_t* inputLeft, std::string& output, size_t& used) {
  for (;;) {
    if (output.size() - used < 16) {
      output.resize(output.size() * 2 + 32);
    }
    char* out = output.data() + used;
    size_t outLeft = output.size() - used;
    size_t result = iconv(cd, input, inputLeft, &out, &outLeft);
    used = output.size() - outLeft;
    if (result == static_cast<size_t>(-1)) {
      if (errno == E2BIG) {
        continue;
      }
      return -1;
    }
    // A character replaced by an approximation has no exact form in the
    // target codeset.
    if (result > 0) {
      errno = EILSEQ;
      return -1;
    }
    return 0;
  }
}

// Converts `src` into `dst` of `dstsize` bytes, NUL included.
int convertIntoBuffer(char* dst, const char* src, size_t dstsize, bool toUtf8) {
  if (dst == nullptr || dstsize == 0) {
    errno = EINVAL;
    return -1;
  }
  dst[0] = '\0';
  if (src == nullptr) {
    errno = EINVAL;
    return -1;
  }
  std::string converted;
  if (convertLocaleText(src, toUtf8, converted) != 0) {
    return -1;
  }
  if (converted.size() >= dstsize || converted.size() > INT_MAX ||
      converted.find('\0') != converted.npos) {
    errno = E2BIG;
    return -1;
  }
  memcpy(dst, converted.c_str(), converted.size() + 1);
  return static_cast<int>(converted.size());
}

}  // namespace

int convertLocaleText(std::string_view input, bool toUtf8, std::string& output) {
  output.clear();
  const char* locale = nl_langinfo(CODESET);
  IconvHandle cd(toUtf8 ? "UTF-8" : locale, toUtf8 ? locale : "UTF-8");
  if (!cd.valid()) {
    return -1;
  }
  std::string buffer;
  size_t used = 0;
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  if (convertStep(cd.get(), &in, &inLeft, buffer, used) != 0 ||
      convertStep(cd.get(), nullptr, nullptr, buffer, used) != 0) {
    return -1;
  }
  buffer.resize(used);
  output = std::move(buffer);
  return 0;
}

}  // namespace kiv

extern "C" {

int locs2utfs(char* dst, const char* src, size_t dstsize) {
  return kiv::convertIntoBuffer(dst, src, dstsize, true);
}

int utfs2locs(char* dst, const char* src, size_t dstsize) {
  return kiv::convertIntoBuffer(dst, src, dstsize, false);
}

// Conversions open their converter per call for the codeset current then, and
// messages are looked up in the program's text domain, so there is no state
// to set up or release.
int t3v_i18n_init(void) {
  return 0;
}

int t3v_i18n_exit(void) {
  return 0;
}

}  // extern "C"
