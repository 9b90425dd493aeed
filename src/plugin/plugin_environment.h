// The fixed places the exported layer binds: the capture directory and what lies in it.
#pragma once

#include <string>

#include "log/diagnostic_log.h"

namespace tuner {

// "c:\capture\" on Windows; the configured directory on the native build. Ends with a separator.
const char* captureDirectory();

inline DiagnosticLog pluginLog() {
  return DiagnosticLog{std::string(captureDirectory()) + "TunerDLL.log"};
}
inline std::string tunerConfigPath() { return std::string(captureDirectory()) + "tuner.txt"; }

}  // namespace tuner
