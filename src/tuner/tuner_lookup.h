// A tuner's line looked up afresh in the tuner file, with the result that says why it cannot be
// used when it cannot.
#pragma once

#include <string>

#include "log/diagnostic_log.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"

namespace tuner {

// The settings of one tuner line.
struct TunerSettings {
  char comPort[kMaxPortNameLength + 1] = {};
  int ueitype = 0;
  int ueicode = 0;
};

// Looks tunerName up in the tuner file, afresh; true with tuner and result's port filled, else
// false with result's code and part telling why. With anyCase the name matches whatever its case
// (an exact match first), and result and spelled, when given, name the tuner as the file does.
bool lookUpTuner(const DiagnosticLog& log, const std::string& configPath, const char* tunerName,
                 TunerSettings& tuner, ControlResult& result, bool anyCase = false,
                 std::string* spelled = nullptr);

}  // namespace tuner
