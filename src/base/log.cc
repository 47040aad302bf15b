#include "base/log.h"

#include <fcntl.h>
#include <locale.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/file_io.h"
#include "base/messages.h"
#include "base/paths.h"

namespace {

const char* logFile = kLogFile;

}  // namespace

void writeLog(const std::string& message) {
  int fd = open(logFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    syslog(LOG_ERR, "Unable to open %s file", logFile);
    return;
  }
  time_t now = time(nullptr);
  char stamp[64] = "";
  if (ctime_r(&now, stamp) == nullptr)
    stamp[0] = '\0';
  std::string line(stamp);
  if (!line.empty() && line.back() == '\n')
    line.pop_back();
  line += ": ";
  line += message;
  line += '\n';
  int error = writeAll(fd, line.data(), line.size());
  if (error != 0) {
    errno = error;
    perror("Failed to write into kiv.log file");
    syslog(LOG_ERR, "Failed to write into kiv.log file");
  }
  close(fd);
}

void printAndLog(const char* format, ...) {
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
  writeLog(message);
}

void printAndLogSystemError(const char* format, const char* subject, int error) {
  printf(tr(format), subject, strerror(error));
  fflush(stdout);
  std::string english = englishSystemError(error);
  int length = snprintf(nullptr, 0, format, subject, english.c_str());
  if (length < 0)
    return;
  std::string message(static_cast<size_t>(length), '\0');
  snprintf(message.data(), message.size() + 1, format, subject, english.c_str());
  writeLog(message);
}

std::string englishSystemError(int error) {
  locale_t english = newlocale(LC_ALL_MASK, "C", locale_t{});
  if (english == locale_t{})
    return strerror(error);
  std::string text = strerror_l(error, english);
  freelocale(english);
  return text;
}

void setLogFileForTesting(const char* path) {
  logFile = path;
}
