#include "log/diagnostic_log.h"

#include <cstdarg>
#include <cstdio>

namespace tuner {

int LogMessage(const DiagnosticLog& log, const char* format, ...) {
  if (log.path.empty()) return 0;
  char msg[kLogMessageCapacity + 1];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(msg, sizeof msg, format, args);
  va_end(args);
  if (length < 0) return 0;
  if (static_cast<std::size_t>(length) >= sizeof msg) msg[sizeof msg - 2] = '\n';

  // "r+" fails when the file is absent, so the trace is never switched on by writing it.
  std::FILE* file = std::fopen(log.path.c_str(), "r+");
  if (file == nullptr) return 0;
  if (std::fseek(file, 0, SEEK_END) == 0) std::fputs(msg, file);
  std::fclose(file);
  return 0;
}

}  // namespace tuner
