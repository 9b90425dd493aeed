// Keys and channels for a tuner, whichever way the request came (the LIRC socket, HTTP, MQTT):
// the tuner looked up afresh, the keys pressed in the blaster's turn through the core's one
// road, and the outcome kept as the tuner's last result. A request is checked whole before its
// turn, and once its first key is out it is sent whole: only a request that has not begun is
// dropped when its client hangs up.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "service.h"
#include "tuner/channel_text.h"
#include "tuner/control_result.h"
#include "tuner/key_presses.h"
#include "tuner/tuner_lookup.h"
#include "tuner/tuning_recipes.h"

namespace tunerd {

enum class Verdict {
  kDone,          // every key acknowledged
  kWrongRequest,  // a button, count or channel that cannot be sent: nothing was sent
  kNoSuchTuner,   // no line of the tuner file has the name: nothing was sent
  kNoTurn,        // the blaster stayed busy or is searched: nothing was sent
  kDropped,       // the client hung up before its turn, or tunerd stops: nothing (more) sent
  kFailed,        // the files or the blaster failed: the sentence says which
};

struct Outcome {
  Verdict verdict = Verdict::kFailed;
  int result = 0;        // the plug-in's result number
  std::string sentence;  // the plug-in's sentence for it, or tunerd's own
};

// The tuner file's spelling of a remote: an exact match, else the first without regard to case,
// as lircd matches its remotes; known is false when no line has the name.
struct TunerName {
  std::string name;
  bool known = false;
};
TunerName tunerNameOf(const Service& service, const std::string& remote);

// The tuner file's line for a name, looked up afresh and traced with log (the page and MQTT's
// discovery read it untraced: reading is no call).
struct TunerLine {
  std::string name;             // as the tuner file spells it
  tuner::ControlResult result;  // its code is TUNER_DONE once the line was found
  tuner::TunerSettings settings;
};
TunerLine lookUpLine(const tuner::DiagnosticLog& log, const Service& service,
                     const std::string& name, const char* what = "key");

// The names of the tuner file's usable lines; false, with the plug-in's sentence, when it
// cannot be read.
bool tunerNames(const Service& service, std::vector<std::string>& names, std::string& problem);

// A remote's buttons with their keys: the ten digits, then those of buttons.txt as written.
std::vector<std::pair<std::string, int>> remoteButtons(const Service& service,
                                                       const std::string& tuner);

// One request for a tuner, checked against the files and ready for its turn at the blaster.
class TunerRequest {
 public:
  // words: remote button... [count], as SEND_ONCE takes them.
  static TunerRequest keys(Service& service, const std::vector<std::string>& words);
  // The whole channel ("42", "4.1") by the tuner's recipe, as MacroTune sends it.
  static TunerRequest channel(Service& service, const std::string& remote,
                              const std::string& channel);

  // Whether it can be sent; else outcome() says why (and it is kept as the last result when it
  // says something of the blaster or the files).
  bool ready() const { return ready_; }
  const Outcome& outcome() const { return outcome_; }
  const std::string& tuner() const { return name_.name; }

  // Presses it in its turn for client (the connection it holds the blaster as).
  Outcome run(Service& service, const Client& client);

 private:
  Outcome done(Service& service, const Outcome& outcome);

  TunerName name_;
  bool ready_ = false;
  Outcome outcome_;
  TunerLine line_;
  std::vector<tuner::KeyPress> keys_;  // for keys
  bool isChannel_ = false;
  tuner::Channel channel_;
  tuner::TuningRecipe recipe_;
};

// The two requests, checked and run at once.
Outcome sendButtons(Service& service, const std::vector<std::string>& words, const Client& client);
Outcome tuneChannel(Service& service, const std::string& remote, const std::string& channel,
                    const Client& client);

// What TUNE and the channel fields take, said once.
std::string channelRule();

}  // namespace tunerd
