// Keys and channels for a tuner, whichever way the request came (the LIRC socket, HTTP, MQTT):
// the face's input parsed straight into the core's one request (tuner/tuner_request.h), run on
// the core's one road with the blaster's turn in tunerd's pool as its source, and its result
// mapped to an outcome and kept as the tuner's last result. Once its first key is out a request
// is sent whole: only one that has not begun is dropped when its client hangs up.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "button_names.h"
#include "service.h"
#include "tuner/channel_map.h"
#include "tuner/control_result.h"
#include "tuner/key_commands.h"
#include "tuner/tuner_lookup.h"
#include "tuner/tuner_request.h"

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
  int result = 0;        // the result number of the one table
  std::string sentence;  // its sentence
};

// What a result number means for a client.
Verdict verdictOf(int result);

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

// The names of the tuner file's usable lines, or the lines themselves (in one walk); false,
// with the plug-in's sentence, when it cannot be read.
bool tunerNames(const Service& service, std::vector<std::string>& names, std::string& problem);
bool tunerLines(const Service& service, std::vector<tuner::TunerLine>& lines, std::string& problem);

// A tuner's lines of buttons.txt and of channels.txt, found as its requests find them (the
// name of any case, a line spelt exactly so first): what LIST, the page and MQTT show of it.
std::vector<tuner::NamedButton> tunerButtons(const Service& service, const std::string& tuner);
std::vector<tuner::ChannelEntry> tunerChannels(const Service& service, const std::string& tuner);

// A remote's buttons with their keys: the ten digits, then those of buttons.txt.
std::vector<std::pair<std::string, int>> remoteButtons(const Service& service,
                                                       const std::string& tuner);

// The environment of tunerd's requests: its trace, its files.
tuner::ControlEnvironment requestEnvironment(const Service& service);

// One request of a client, parsed into the core's request.
class TunerRequest {
 public:
  // words: remote button... [count], as SEND_ONCE takes them; buttons of buttons.txt first.
  static TunerRequest keys(Service& service, const std::vector<std::string>& words);
  // Presses of buttons by name or keys by number, each count times.
  struct Press {
    std::string button;  // empty: key
    int key = 0;
  };
  static TunerRequest presses(Service& service, const std::string& remote,
                              const std::vector<Press>& presses, int count);
  // The whole channel ("42", "4.1") by the tuner's recipe, as MacroTuneChannel sends it.
  static TunerRequest channel(Service& service, const std::string& remote,
                              const std::string& channel);

  // Whether it can be sent; else outcome() says why (a mistake of the request: no tuner's last
  // result).
  bool ready() const { return ready_; }
  const Outcome& outcome() const { return outcome_; }
  const std::string& tuner() const { return request_.tuner; }

  // Runs it in its turn for client (the connection it holds the blaster as).
  Outcome run(Service& service, const Client& client) const;

 private:
  static TunerRequest forKeys(Service& service, const std::string& remote);
  tuner::TunerRequest request_;
  tuner::ControlResult started_;
  bool ready_ = false;
  Outcome outcome_;
};

// The two requests, parsed and run at once.
Outcome sendButtons(Service& service, const std::vector<std::string>& words, const Client& client);
Outcome tuneChannel(Service& service, const std::string& remote, const std::string& channel,
                    const Client& client);

}  // namespace tunerd
