#include "log/diagnostic_log.h"

#include "common/open_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tuner {
namespace {

// Bytes the message takes on disk at the most: a line feed may be written as CR LF.
long diskLength(const char* msg) {
  long length = 0;
  for (const char* c = msg; *c != '\0'; ++c) length += *c == '\n' ? 2 : 1;
  return length;
}

}  // namespace

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
  std::FILE* file = openStream(log.path.c_str(), "r+");
  if (file == nullptr) return 0;
  if (std::fseek(file, 0, SEEK_END) != 0) {
    std::fclose(file);
    return 0;
  }
  const long size = std::ftell(file);
  if (size > 0 && size + diskLength(msg) > static_cast<long>(kLogSizeLimit)) {
    // Emptied in place, never re-created: a log deleted meanwhile stays switched off.
    std::fclose(file);
    std::error_code ignored;
    std::filesystem::resize_file(log.path, 0, ignored);
    file = openStream(log.path.c_str(), "r+");
    if (file == nullptr) return 0;
    std::fseek(file, 0, SEEK_END);
    std::fputs(kLogRestartedLine, file);
  }
  std::fputs(msg, file);
  std::fclose(file);
  return 0;
}

}  // namespace tuner
