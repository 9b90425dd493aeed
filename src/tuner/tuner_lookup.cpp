#include "tuner/tuner_lookup.h"

namespace tuner {

bool lookUpTuner(const DiagnosticLog& log, const std::string& configPath, const char* tunerName,
                 TunerSettings& tuner, ControlResult& result, bool anyCase, std::string* spelled) {
  TunerLookup lookup;
  if (!ReadCfgFile(log, configPath, tunerName, tuner.comPort, &tuner.ueitype, &tuner.ueicode,
                   &lookup, anyCase)) {
    result.code = lookupResultCode(lookup);
    result.part = tunerLinePart(lookup.wantedLineProblem);
    return false;
  }
  setField(result.port, tuner.comPort);
  if (anyCase) setField(result.tuner, lookup.spelled.c_str());
  if (spelled != nullptr) *spelled = lookup.spelled;
  return true;
}

}  // namespace tuner
