// The fixed places the exported layer binds: the folders of the tuner file and of the trace.
#pragma once

#include <string>

#include "log/diagnostic_log.h"

namespace tuner {

// Both "c:\capture\" on Windows; natively the folders the build was configured with (by
// default /etc/tunerdll/ and /var/log/tunerdll/). Each ends with a separator.
const char* configDirectory();
const char* traceDirectory();

inline DiagnosticLog pluginLog() {
  return DiagnosticLog{std::string(traceDirectory()) + "TunerDLL.log"};
}
inline std::string tunerConfigPath() { return std::string(configDirectory()) + "tuner.txt"; }
inline std::string tuningRecipesPath() { return std::string(configDirectory()) + "tuning.txt"; }
inline std::string channelMapPath() { return std::string(configDirectory()) + "channels.txt"; }

}  // namespace tuner
