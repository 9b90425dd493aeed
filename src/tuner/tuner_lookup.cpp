#include "tuner/tuner_lookup.h"

namespace tuner {

bool lookUpTuner(const DiagnosticLog& log, const std::string& configPath, const char* tunerName,
                 TunerSettings& tuner, ControlResult& result) {
  TunerLookup lookup;
  if (!ReadCfgFile(log, configPath, tunerName, tuner.comPort, &tuner.ueitype, &tuner.ueicode,
                   &lookup)) {
    result.code = lookupResultCode(lookup);
    result.part = tunerLinePart(lookup.wantedLineProblem);
    return false;
  }
  setField(result.port, tuner.comPort);
  return true;
}

}  // namespace tuner
