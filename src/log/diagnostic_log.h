// The trace every routine writes. It is on only while the log file exists: the plug-in never
// creates it, and opens and closes it for each message, or once for all the messages of a call.
#pragma once

#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define TUNER_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define TUNER_PRINTF_FORMAT(fmt, first)
#endif

namespace tuner {

class TraceSession;

struct DiagnosticLog {
  std::string path;                 // empty: the trace is off
  TraceSession* session = nullptr;  // one call's open trace; null: each message opens it
};

// The trace held open for the messages of one call (a channel change writes some 25): opened,
// with every check a message makes, at the first message of a log that names the session, and
// closed when the session ends. A trace that could not be opened then is not tried again within
// the session; each message still reaches the file before the next is formatted.
class TraceSession {
 public:
  TraceSession() = default;
  ~TraceSession();
  TraceSession(const TraceSession&) = delete;
  TraceSession& operator=(const TraceSession&) = delete;

  // The open trace at path, opened at the first call; null where it cannot be written.
  std::FILE* file(const std::string& path);

 private:
  std::FILE* file_ = nullptr;
  bool tried_ = false;
};

// Longest message kept, line feed included; longer ones are cut and still end with a line feed.
constexpr std::size_t kLogMessageCapacity = 254;

// The log never grows past this many bytes: a message that would take it further empties it first
// and follows the restart line.
constexpr std::size_t kLogSizeLimit = 1024 * 1024;
constexpr char kLogRestartedLine[] = "LogMessage:Trace restarted, it had reached 1 MiB\n";
static_assert(kLogSizeLimit == 1024 * 1024, "the restart line, which stays as it is, says 1 MiB");

// Appends one formatted message (which ends with a line feed) to the log. A log that cannot be
// opened drops the message without a sign. Returns 0.
int LogMessage(const DiagnosticLog& log, const char* format, ...) TUNER_PRINTF_FORMAT(2, 3);

}  // namespace tuner
