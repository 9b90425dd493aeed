// The one road every key takes: a sequence of keys pressed on a tuner's open blaster, each
// under its trace line, with the result that tells how it went. PlayCommand, MacroTune and
// tunerd's requests all press their keys through it.
#pragma once

#include <functional>
#include <vector>

#include "blaster/open_blaster.h"
#include "log/diagnostic_log.h"
#include "tuner/control_result.h"
#include "tuner/tuner_lookup.h"

namespace tuner {

struct KeyPress {
  int key = 0;
  const char* traced = nullptr;  // the trace line before it, with one %d for shown; null: none
  int shown = 0;
  unsigned gapMs = 0;  // waited before it (a box that misses a digit repeated too soon)
};

enum class Pressed {
  kAll,              // every key acknowledged; result's code is TUNER_DONE
  kNotAcknowledged,  // result says which key; the rest was not sent and the blaster is closed
  kStopped,          // stopped said so before a key; the rest was not sent
};

// Presses the keys in order, pauseMs more after each (traced as MacroTune traces its pause).
Pressed pressKeys(const DiagnosticLog& log, OpenBlaster& blaster, const TunerSettings& tuner,
                  const std::vector<KeyPress>& keys, unsigned pauseMs, ControlResult& result,
                  const std::function<bool()>& stopped = {});

}  // namespace tuner
