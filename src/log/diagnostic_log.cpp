#include "log/diagnostic_log.h"

#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/printable_text.h"

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

// The message as one line: its final line feed kept, every other control byte (a line feed or
// a carriage return in a host's name, say) written as \xHH. Cut to fit, it still ends its line.
void escapeInto(const char* formatted, char* msg, std::size_t capacity) {
  std::size_t length = std::strlen(formatted);
  const bool endsLine = length > 0 && formatted[length - 1] == '\n';
  if (endsLine) --length;
  std::size_t out = 0;
  const std::size_t room = capacity - 2;  // the line feed and the terminating zero
  escapeBytes(std::string_view(formatted, length), Escaped::kControlBytes,
              [&](const char* piece, std::size_t pieceLength) {
                if (out + pieceLength > room) return false;
                std::memcpy(msg + out, piece, pieceLength);
                out += pieceLength;
                return true;
              });
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
  OpenFile owned;
  std::FILE* file = nullptr;
  if (log.session != nullptr) {
    file = log.session->file(log.path);
  } else {
    TraceState state = TraceState::kAbsent;
    owned.reset(openTrace(log.path.c_str(), state));
    file = owned.get();
  }
  if (file == nullptr) return 0;
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file);
  if (size > 0 && size + diskLength(msg) > static_cast<long>(kLogSizeLimit)) {
    // The open file is emptied, never a path: a file put in its place meanwhile is not touched.
    if (!emptyOpenFile(file)) return 0;
    std::fputs(kLogRestartedLine, file);
  }
  std::fputs(msg, file);
  if (log.session != nullptr) std::fflush(file);
  return 0;
}

TraceSession::~TraceSession() {
  if (file_ != nullptr) std::fclose(file_);
}

std::FILE* TraceSession::file(const std::string& path) {
  if (!tried_) {
    tried_ = true;
    TraceState state = TraceState::kAbsent;
    file_ = openTrace(path.c_str(), state);
  }
  return file_;
}

}  // namespace tuner
