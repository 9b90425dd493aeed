#include "tuner/key_presses.h"

namespace tuner {

Pressed pressKeys(const DiagnosticLog& log, OpenBlaster& blaster, const TunerSettings& tuner,
                  const std::vector<KeyPress>& keys, unsigned pauseMs, ControlResult& result,
                  const std::function<bool()>& stopped) {
  for (const KeyPress& press : keys) {
    if (stopped && stopped()) return Pressed::kStopped;
    if (press.gapMs > 0) {
      LogMessage(log, "MacroTune:Repeat [%u]\n", press.gapMs);
      blaster.pause(press.gapMs);
    }
    if (press.traced != nullptr) LogMessage(log, press.traced, press.shown);
    if (!blaster.press(press.key, tuner.ueitype, tuner.ueicode)) {
      blaster.close();
      result.code = TUNER_KEY_NOT_ACKNOWLEDGED;
      result.what = "key";
      result.number = press.key;
      result.numberText[0] = '\0';
      return Pressed::kNotAcknowledged;
    }
    if (pauseMs > 0) {
      LogMessage(log, "MacroTune:Pause [%u]\n", pauseMs);
      blaster.pause(pauseMs);
    }
  }
  result.code = TUNER_DONE;
  return Pressed::kAll;
}

}  // namespace tuner
