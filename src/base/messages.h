// Terminal texts are looked up in the "velmar-pelk" message domain; without a
// catalogue the English text itself is shown.
#ifndef KIVCONFIG_BASE_MESSAGES_H_
#define KIVCONFIG_BASE_MESSAGES_H_

#include <libintl.h>
#include <locale.h>

constexpr const char* kTextDomain = "velmar-pelk";

// The attribute lets the compiler check printf arguments against the text.
__attribute__((format_arg(1))) inline const char* tr(const char* text) {
  return dcgettext(kTextDomain, text, LC_MESSAGES);
}

#endif  // KIVCONFIG_BASE_MESSAGES_H_
