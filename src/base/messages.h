// Terminal texts are looked up in the "velmar-pelk" message domain; without a
// catalogue the English text itself is shown. The message template
// (po/velmar-pelk.pot) is extracted from the texts passed to tr(),
// translatable(), printAndLog() and announce().
#ifndef KIVCONFIG_BASE_MESSAGES_H_
#define KIVCONFIG_BASE_MESSAGES_H_

#include <libintl.h>
#include <locale.h>

constexpr const char* kTextDomain = "velmar-pelk";

// The attribute lets the compiler check printf arguments against the text.
__attribute__((format_arg(1))) inline const char* tr(const char* text) {
  return dcgettext(kTextDomain, text, LC_MESSAGES);
}

// Marks a text that a table keeps and that tr() translates where it is
// shown, so that the extraction finds it; returns the text unchanged.
__attribute__((format_arg(1))) constexpr const char* translatable(const char* text) {
  return text;
}

#endif  // KIVCONFIG_BASE_MESSAGES_H_
