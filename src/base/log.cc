#include "base/log.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/messages.h"

void printAndLog(Host& host, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list forLog;
  va_copy(forLog, arguments);
  vprintf(tr(format), arguments);
  fflush(stdout);
  va_end(arguments);
  int length = vsnprintf(nullptr, 0, format, forLog);
  va_end(forLog);
  if (length < 0)
    return;
  std::string message(static_cast<size_t>(length), '\0');
  va_start(arguments, format);
  vsnprintf(message.data(), message.size() + 1, format, arguments);
  va_end(arguments);
  host.log(message);
}

void printAndLogSystemError(Host& host, const char* format, const char* subject, int error) {
  printf(tr(format), subject, strerror(error));
  fflush(stdout);
  std::string english = englishSystemError(error);
  int length = snprintf(nullptr, 0, format, subject, english.c_str());
  if (length < 0)
    return;
  std::string message(static_cast<size_t>(length), '\0');
  snprintf(message.data(), message.size() + 1, format, subject, english.c_str());
  host.log(message);
}

void printAndLogLine(Host& host, const char* text) {
  fputs(tr(text), stdout);
  std::string line(text);
  if (!line.empty() && line.back() == '\n')
    line.pop_back();
  host.log(line);
}

namespace {

template <typename Keep>
std::string escaped(std::string_view text, Keep keep) {
  std::string shown;
  for (unsigned char c : text) {
    if (keep(c)) {
      shown += static_cast<char>(c);
    } else {
      char code[5];
      snprintf(code, sizeof code, "\\x%02X", c);
      shown += code;
    }
  }
  return shown;
}

}  // namespace

std::string printableText(std::string_view text) {
  return escaped(text,
                 [](unsigned char c) { return c >= 0x20 && c < 0x7f && c != '\\' && c != '"'; });
}

std::string withoutControlBytes(std::string_view text, bool keepLineEnds) {
  return escaped(text, [keepLineEnds](unsigned char c) {
    return (c >= 0x20 && c != 0x7f) || (keepLineEnds && c == '\n');
  });
}

std::string englishSystemError(int error) {
  locale_t english = newlocale(LC_ALL_MASK, "C", locale_t{});
  if (english == locale_t{})
    return strerror(error);
  std::string text = strerror_l(error, english);
  freelocale(english);
  return text;
}
