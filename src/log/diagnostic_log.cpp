#include "log/diagnostic_log.h"

#include "common/guarded_files.h"
#include "common/hex_digits.h"
#include "common/open_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tuner {
namespace {

// Bytes the message takes on disk at the most: a line feed may be written as CR LF.
long diskLength(const char* msg) {
  long length = 0;
  for (const char* c = msg; *c != '\0'; ++c) length += *c == '\n' ? 2 : 1;
  return length;
}

bool isControlByte(unsigned char c) { return c < 0x20 || c == 0x7f; }

// The message as one line: its final line feed kept, every other control byte (a line feed or
// a carriage return in a host's name, say) written as \xHH. Cut to fit, it still ends its line.
void escapeInto(const char* formatted, char* msg, std::size_t capacity) {
  std::size_t length = std::strlen(formatted);
  const bool endsLine = length > 0 && formatted[length - 1] == '\n';
  if (endsLine) --length;
  std::size_t out = 0;
  const std::size_t room = capacity - 2;  // the line feed and the terminating zero
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(formatted[i]);
    if (!isControlByte(c)) {
      if (out + 1 > room) break;
      msg[out++] = static_cast<char>(c);
      continue;
    }
    if (out + 4 > room) break;
    msg[out++] = '\\';
    msg[out++] = 'x';
    msg[out++] = highHexDigit(c);
    msg[out++] = lowHexDigit(c);
  }
  msg[out++] = '\n';
  msg[out] = '\0';
}

}  // namespace

int LogMessage(const DiagnosticLog& log, const char* format, ...) {
  if (log.path.empty()) return 0;
  char formatted[kLogMessageCapacity + 1];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(formatted, sizeof formatted, format, args);
  va_end(args);
  if (length < 0) return 0;
  if (static_cast<std::size_t>(length) >= sizeof formatted) formatted[sizeof formatted - 2] = '\n';
  char msg[kLogMessageCapacity + 1];
  escapeInto(formatted, msg, sizeof msg);

  // Only an existing regular file with one name is written, never through a link: the trace is
  // never switched on by writing it, and never reaches another file.
  TraceState state = TraceState::kAbsent;
  OpenFile file(openTrace(log.path.c_str(), state));
  if (file == nullptr) return 0;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file.get());
  if (size > 0 && size + diskLength(msg) > static_cast<long>(kLogSizeLimit)) {
    // The open file is emptied, never a path: a file put in its place meanwhile is not touched.
    if (!emptyOpenFile(file.get())) return 0;
    std::fputs(kLogRestartedLine, file.get());
  }
  std::fputs(msg, file.get());
  return 0;
}

}  // namespace tuner
