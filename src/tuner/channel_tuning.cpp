// A channel's keys as its tuner's recipe says: MacroTune and its kin, and tunerd's TUNE.
#include "tuner/key_commands.h"
#include "tuner/tuner_request.h"

namespace tuner {
namespace {

// The keys of one sending of a channel, each with the trace line it is pressed under: the zero
// keys that pad it (a sub-channel's major only where the recipe sets digits), its digits, the dot
// and the minor digits of a sub-channel, and the key after. A digit key that is the key just
// before it waits the recipe's repeat first.
std::vector<KeyPress> sendingKeys(const Channel& channel, const TuningRecipe& recipe) {
  std::vector<KeyPress> keys;
  const auto digit = [&](KeyPress press) {
    if (!keys.empty() && keys.back().key == press.key) {
      press.gapMs = static_cast<unsigned>(recipe.repeatMs);
    }
    keys.push_back(press);
  };
  const bool sub = !channel.minor.empty();
  const int digits = sub && !recipe.digitsGiven ? 1 : recipe.digits;
  for (int i = 0; i < leadingZeroKeys(channel.major, digits); ++i) {
    digit({kZeroKey, "MacroTune:Emitting hdr [%d]\n", 0});
  }
  for (int key : digitKeys(channel.major)) digit({key, "MacroTune:Emitting [%d]\n", key});
  if (sub) {
    keys.push_back({recipe.dot, "MacroTune:Emitting dot [%d]\n", recipe.dot});
    for (char minor : channel.minor) {
      digit({digitKey(minor), "MacroTune:Emitting [%d]\n", digitKey(minor)});
    }
  }
  if (recipe.enter != 0)
    keys.push_back({recipe.enter, "MacroTune:Emitting enter [%d]\n", recipe.enter});
  return keys;
}

}  // namespace

int channelPresses(const Channel& channel, const TuningRecipe& recipe) {
  int presses = 0;
  for (int key : recipe.before) presses += key != 0 ? 1 : 0;
  const int sending = static_cast<int>(sendingKeys(channel, recipe).size());
  return presses + sending * (recipe.againMs != 0 ? 2 : 1);
}

bool lacksDotKey(const Channel& channel, const TuningRecipe& recipe, ControlResult& result) {
  if (channel.minor.empty() || recipe.dot != 0) return false;
  result.code = TUNER_NO_DOT_KEY;
  setField(result.numberText, channelText(channel).c_str());
  return true;
}

Pressed pressChannel(const DiagnosticLog& log, OpenBlaster& blaster, const TunerSettings& tuner,
                     const Channel& channel, const TuningRecipe& recipe, ControlResult& result,
                     const std::function<bool()>& stopped) {
  const auto pause = static_cast<unsigned>(recipe.pauseMs);
  std::vector<KeyPress> before;
  for (int key : recipe.before) {
    if (key != 0) before.push_back({key, "MacroTune:Emitting before [%d]\n", key});
  }
  Pressed pressed = pressKeys(log, blaster, tuner, before, pause, result, stopped);
  if (pressed != Pressed::kAll) return pressed;
  if (!before.empty() && recipe.waitMs > 0) {
    LogMessage(log, "MacroTune:Wait [%d]\n", recipe.waitMs);
    blaster.pause(static_cast<unsigned>(recipe.waitMs));
  }
  const std::vector<KeyPress> sending = sendingKeys(channel, recipe);
  pressed = pressKeys(log, blaster, tuner, sending, pause, result, stopped);
  if (pressed != Pressed::kAll || recipe.againMs == 0 || (stopped && stopped())) return pressed;
  // Once more, for a box that now and then misses a digit; its first sending stands.
  LogMessage(log, "MacroTune:Again [%d]\n", recipe.againMs);
  blaster.pause(static_cast<unsigned>(recipe.againMs));
  ControlResult second = result;
  if (pressKeys(log, blaster, tuner, sending, pause, second, stopped) ==
      Pressed::kNotAcknowledged) {
    LogMessage(log,
               "MacroTune:Err:Key not acknowledged [%d] in the second sending, the first "
               "stands\n",
               second.number);
  }
  return Pressed::kAll;
}

namespace {

// Tunes a channel, read already or as text (a channel or a channel's name), as the recipe says;
// MacroTune's road, the one every request takes.
ControlResult tuneChannel(const ControlEnvironment& env, const Channel& channel, const char* text,
                          const char* tunerName, const RecipeSettings& settings,
                          const ControlResult& result) {
  TunerRequest request;
  request.caller = "MacroTune";
  request.tuner = tunerName;
  request.isChannel = true;
  request.channel = channel;
  request.byText = text != nullptr;
  request.channelText = text != nullptr ? text : "";
  request.settings = settings;
  OpenForTheCall source(env);
  return runRequest(env, request, source, result);
}

}  // namespace

ControlResult MacroTune(const ControlEnvironment& env, int channel, const char* tunerName,
                        const RecipeSettings& settings) {
  LogMessage(env.log, "MacroTune:Start: Channel [%d] loadedDevName [%s]\n", channel, tunerName);
  ControlResult result = startResult(env, "channel", tunerName);
  result.number = channel;
  if (channel < 1) {
    LogMessage(env.log, "MacroTune:Err:Invalid channel [%d]\n", channel);
    result.code = TUNER_INVALID_CHANNEL;
    return result;
  }
  Channel whole;
  whole.major = channel;
  return tuneChannel(env, whole, nullptr, tunerName, settings, result);
}

ControlResult MacroTuneChannel(const ControlEnvironment& env, const char* text,
                               const char* tunerName, const RecipeSettings& settings) {
  Channel channel;
  const bool read = text != nullptr && readChannel(text, channel);
  if (read && channel.minor.empty()) return MacroTune(env, channel.major, tunerName, settings);
  const char* shown = text != nullptr ? text : "";
  LogMessage(env.log, "MacroTune:Start: Channel [%s] loadedDevName [%s]\n", shown, tunerName);
  ControlResult result = startResult(env, "channel", tunerName);
  if (read) setField(result.numberText, channelText(channel).c_str());
  // Text that is no channel may be a channel's name in the map; the road says if it is neither.
  return tuneChannel(env, channel, shown, tunerName, settings, result);
}

}  // namespace tuner
