// What a control call really did, read from the trace it left: the exports return nothing, and
// the trace is the plug-in's own account of each call.
#pragma once

#include <string>
#include <vector>

// The lines one call adds to the log. When there is no log, an empty one is made for the call
// and removed afterwards, so a user's trace is never changed or left switched on.
class CallTrace {
 public:
  explicit CallTrace(std::string logPath);
  CallTrace(const CallTrace&) = delete;
  CallTrace& operator=(const CallTrace&) = delete;
  ~CallTrace();

  // Whether the call can be traced at all (the capture directory exists and can be written).
  bool tracing() const { return tracing_; }
  // The lines the call added, without their line ends.
  std::vector<std::string> added() const;

 private:
  std::string path_;
  bool created_ = false;
  bool tracing_ = false;
  long start_ = 0;
};

struct CallOutcome {
  bool ok = false;
  std::string message;  // success, or the cause and what to do
};

// Reads the outcome of a PlayCommand or MacroTune call (call is the export's name) from its lines.
CallOutcome outcomeOf(const std::string& call, const std::vector<std::string>& lines,
                      const std::string& configPath);
