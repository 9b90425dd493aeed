// The trace every routine writes. It is on only while the log file exists: the plug-in never
// creates it, and opens and closes it for each message.
#pragma once

#include <string>

#if defined(__GNUC__)
#define TUNER_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define TUNER_PRINTF_FORMAT(fmt, first)
#endif

namespace tuner {

struct DiagnosticLog {
  std::string path;  // empty: the trace is off
};

// Longest message kept, line feed included; longer ones are cut and still end with a line feed.
constexpr std::size_t kLogMessageCapacity = 254;

// The log never grows past this many bytes: a message that would take it further empties it first
// and follows the restart line.
constexpr std::size_t kLogSizeLimit = 1024 * 1024;
constexpr char kLogRestartedLine[] = "LogMessage:Trace restarted, it had reached 1 MiB\n";

// Appends one formatted message (which ends with a line feed) to the log. A log that cannot be
// opened drops the message without a sign. Returns 0.
int LogMessage(const DiagnosticLog& log, const char* format, ...) TUNER_PRINTF_FORMAT(2, 3);

}  // namespace tuner
