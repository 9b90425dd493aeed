// One request for a tuner, whoever makes it: the plug-in's PlayCommand and MacroTune and each of
// tunerd's ways in. runRequest is the one road: it looks the tuner up once, applies its recipe
// and the dot key, holds the request to its bound, takes the blaster from a source (the
// plug-in's opens and probes the port for the call; tunerd's takes its turn in its pool),
// presses the keys and says how it went in one ControlResult.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "blaster/open_blaster.h"
#include "tuner/channel_text.h"
#include "tuner/key_commands.h"
#include "tuner/tuning_recipes.h"

namespace tuner {

struct TunerRequest {
  const char* caller = "MacroTune";  // the trace's name of the call
  std::string tuner;
  bool anyCase = false;  // the name matches whatever its case, as lircd matches remotes
  // A channel, by the tuner's recipe with these settings in place of its own, and its line in
  // the channel map: read already, or as text (a channel, or a channel's name)...
  bool isChannel = false;
  Channel channel;
  bool byText = false;
  std::string channelText;
  RecipeSettings settings;
  // ...or keys, in order, each traced with keyTrace (one %d for the key).
  std::vector<int> keys;
  const char* keyTrace = nullptr;
  int maxPresses = 0;  // a request of more keys is refused whole; 0: no bound
};

// Where a request gets its blaster.
class BlasterSource {
 public:
  virtual ~BlasterSource() = default;
  // The tuner's blaster, open and probed, for a request of `presses` keys; null, with result's
  // code saying why, when there is none.
  virtual OpenBlaster* take(const TunerSettings& tuner, int presses, ControlResult& result) = 0;
  // The request is done with it.
  virtual void give() = 0;
  // Whether no further key is to be pressed (a service that stops).
  virtual bool stopped() { return false; }
};

// The plug-in's: the port opened, set up and probed for the call, and closed after it.
class OpenForTheCall final : public BlasterSource {
 public:
  explicit OpenForTheCall(const ControlEnvironment& env)
      : blaster_(BlasterLink{env.log, env.serial}) {}
  OpenBlaster* take(const TunerSettings& tuner, int presses, ControlResult& result) override;
  void give() override { blaster_.close(); }

 private:
  OpenBlaster blaster_;
};

// What a request found on its way.
struct RequestDetails {
  std::string spelled;  // the tuner file's spelling of the name, once the line was found
  std::string channel;  // the channel as the recorder knows it ("101" for "BBC One HD")
};

// What the request did, in result (as the caller started it: what, number, tuner, config).
ControlResult runRequest(const ControlEnvironment& env, const TunerRequest& request,
                         BlasterSource& source, ControlResult result,
                         RequestDetails* details = nullptr);

}  // namespace tuner
