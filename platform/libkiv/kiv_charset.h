// Text conversion between the locale's codeset and UTF-8.
#ifndef KIV_CHARSET_H_
#define KIV_CHARSET_H_

#include <string>
#include <string_view>

namespace kiv {

// Converts `input` from the locale's codeset (nl_langinfo(CODESET) now) to
// UTF-8, or back when `toUtf8` is false. Returns 0, or -1 with errno set
// (EILSEQ, EINVAL) when the input is invalid in its codeset or a character
// has no form in the target codeset; `output` is then empty.
int convertLocaleText(std::string_view input, bool toUtf8, std::string& output);

}  // namespace kiv

#endif  // KIV_CHARSET_H_
