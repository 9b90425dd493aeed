// The two control calls: one key by command name, or a whole channel number as digit keys.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "blaster/open_blaster.h"
#include "blaster/serial_services.h"
#include "log/diagnostic_log.h"
#include "remotes/records.h"
#include "tuner/channel_text.h"
#include "tuner/control_result.h"
#include "tuner/key_presses.h"
#include "tuner/tuner_lookup.h"
#include "tuner/tuning_recipes.h"

namespace tuner {

// Where a control call finds its trace, its configuration and its serial port.
struct ControlEnvironment {
  DiagnosticLog log;
  std::string configPath;
  SerialServices& serial;
  std::string recipePath;  // the tuning recipes beside the tuner file; empty: none
  std::string channelsPath = std::string();  // the channel map beside it; empty: none
};

// A control call's result as it starts.
ControlResult startResult(const ControlEnvironment& env, const char* what, const char* tuner);

// The digit key of "0" is key number 10.
constexpr int kZeroKey = 10;

// Key number of a command name: its first character when that is a digit, else its decimal value.
int keyNumberForCommand(const char* command);

// The key of a digit character: '0' is kZeroKey.
int digitKey(char digit);

// For a channel of 1 or more: the zero keys that pad it to `digits` digits (three unless a
// recipe says otherwise), the keys of its digits, and both in the order they are sent.
int leadingZeroKeys(int channel, int digits = kDefaultDigits);
std::vector<int> digitKeys(int channel);
std::vector<int> channelKeys(int channel, int digits = kDefaultDigits);

// Sends the key a command name presses to the remote's tuner; the result says how it went.
ControlResult PlayCommand(const ControlEnvironment& env, const Remote* remote, const char* command);

// The keys a channel takes as the recipe says: the keys before, its digits with their padding,
// a sub-channel's dot and minor digits, the key after, all twice with `again`.
int channelPresses(const Channel& channel, const TuningRecipe& recipe);

// Whether the channel is a sub-channel the recipe has no dot key for; result then says so
// (TUNER_NO_DOT_KEY), and nothing may be sent.
bool lacksDotKey(const Channel& channel, const TuningRecipe& recipe, ControlResult& result);

// Presses a channel's keys on the tuner's open blaster as the recipe says (a sub-channel needs
// its dot key), each traced as MacroTune traces it, through pressKeys. A second sending
// (`again`) that fails leaves the first standing, with a trace line that says so.
Pressed pressChannel(const DiagnosticLog& log, OpenBlaster& blaster, const TunerSettings& tuner,
                     const Channel& channel, const TuningRecipe& recipe, ControlResult& result,
                     const std::function<bool()>& stopped = {});

// Tunes the tuner named tunerName to the channel, as its recipe says, with the given settings
// in place of the recipe's own; the result says how it went.
ControlResult MacroTune(const ControlEnvironment& env, int channel, const char* tunerName,
                        const RecipeSettings& settings = {});

// MacroTune for a channel given as text: a whole number goes exactly as MacroTune sends it, a
// sub-channel ("4.1", "7-1") as its major digits, the recipe's dot key and its minor digits.
ControlResult MacroTuneChannel(const ControlEnvironment& env, const char* channel,
                               const char* tunerName, const RecipeSettings& settings = {});

}  // namespace tuner
