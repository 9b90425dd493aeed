#include "tuner/key_commands.h"

#include <cstdio>
#include <cstring>

#include "blaster/open_blaster.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"

namespace tuner {
namespace {

int digitKey(char digit) { return digit == '0' ? kZeroKey : digit - '0'; }

// Looks the tuner up and opens and probes its port; false, logged by the caller's name and
// told in result, if not.
bool openTunerPort(const ControlEnvironment& env, const char* caller, const char* tunerName,
                   TunerSettings& tuner, OpenBlaster& blaster, ControlResult& result) {
  if (!lookUpTuner(env.log, env.configPath, tunerName, tuner, result)) {
    LogMessage(env.log, "%s:Err:ReadCfg Failes\n", caller);
    return false;
  }
  LogMessage(env.log, "%s:Tuner[%s] comPort[%s] ueitype[%d] ueicode[%d]\n", caller, tunerName,
             tuner.comPort, tuner.ueitype, tuner.ueicode);
  if (!blaster.open(tuner.comPort)) {
    LogMessage(env.log, "%s:Err:Com port not opened\n", caller);
    setPortProblem(result, blaster.problem());
    return false;
  }
  return true;
}

ControlResult startResult(const ControlEnvironment& env, const char* what, const char* tuner) {
  ControlResult result;
  result.what = what;
  setField(result.tuner, tuner);
  setField(result.config, env.configPath.c_str());
  return result;
}

}  // namespace

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

int keyNumberForCommand(const char* command) {
  if (command[0] >= '0' && command[0] <= '9') return digitKey(command[0]);
  return decimalValue(command);
}

int leadingZeroKeys(int channel, int digits) {
  long long smallest = 1;  // the smallest channel of `digits` digits
  for (int d = 1; d < digits; ++d) smallest *= 10;
  int count = 0;
  for (long long v = channel; v < smallest; v *= 10) ++count;
  return count;
}

std::vector<int> digitKeys(int channel) {
  std::vector<int> keys;
  char channelStr[16];  // every int, its "." and the terminating zero
  std::snprintf(channelStr, sizeof channelStr, "%d.", channel);
  for (const char* c = channelStr; *c != '.'; ++c) keys.push_back(digitKey(*c));
  return keys;
}

std::vector<int> channelKeys(int channel, int digits) {
  std::vector<int> keys(static_cast<std::size_t>(leadingZeroKeys(channel, digits)), kZeroKey);
  for (int key : digitKeys(channel)) keys.push_back(key);
  return keys;
}

ControlResult PlayCommand(const ControlEnvironment& env, const Remote* remote,
                          const char* command) {
  LogMessage(env.log, "PlayCommand:Start name[%s]\n", command != nullptr ? command : "");
  ControlResult result =
      startResult(env, "key", remote != nullptr && remote->name != nullptr ? remote->name : "");
  result.code = TUNER_INVALID_ARGUMENT;
  if (remote == nullptr || remote->name == nullptr) {
    LogMessage(env.log, "PlayCommand:Err:Remote or its name is null\n");
    return result;
  }
  LogMessage(env.log, "PlayCommand:Remotename[%s]\n", remote->name);
  if (command == nullptr) {
    LogMessage(env.log, "PlayCommand:Err:Command name is null\n");
    return result;
  }
  setField(result.command, command);
  TunerSettings tuner;
  OpenBlaster blaster(BlasterLink{env.log, env.serial});
  if (!openTunerPort(env, "PlayCommand", remote->name, tuner, blaster, result)) return result;
  const int key = keyNumberForCommand(command);
  result.number = key;
  LogMessage(env.log, "PlayCommand:Emitting [%d]\n", key);
  const bool emitted = blaster.press(key, tuner.ueitype, tuner.ueicode);
  blaster.close();
  if (!emitted) {
    LogMessage(env.log, "PlayCommand:Err:Key not acknowledged [%d]\n", key);
    result.code = TUNER_KEY_NOT_ACKNOWLEDGED;
    return result;
  }
  LogMessage(env.log, "PlayCommand:End\n");
  result.code = key == 0 ? TUNER_NOTHING_TO_SEND : TUNER_DONE;
  return result;
}

namespace {

// The keys of one sending of a channel, each with the trace line it is pressed under: the zero
// keys that pad it (a sub-channel's major only where the recipe sets digits), its digits, the dot
// and the minor digits of a sub-channel, and the key after.
struct TracedKey {
  const char* traced;
  int shown;
  int key;
};

std::vector<TracedKey> sendingKeys(const Channel& channel, const TuningRecipe& recipe) {
  std::vector<TracedKey> keys;
  const bool sub = !channel.minor.empty();
  const int digits = sub && !recipe.digitsGiven ? 1 : recipe.digits;
  for (int i = 0; i < leadingZeroKeys(channel.major, digits); ++i) {
    keys.push_back({"MacroTune:Emitting hdr [%d]\n", 0, kZeroKey});
  }
  for (int key : digitKeys(channel.major)) keys.push_back({"MacroTune:Emitting [%d]\n", key, key});
  if (sub) {
    keys.push_back({"MacroTune:Emitting dot [%d]\n", recipe.dot, recipe.dot});
    for (char digit : channel.minor) {
      keys.push_back({"MacroTune:Emitting [%d]\n", digitKey(digit), digitKey(digit)});
    }
  }
  if (recipe.enter != 0)
    keys.push_back({"MacroTune:Emitting enter [%d]\n", recipe.enter, recipe.enter});
  return keys;
}

}  // namespace

int channelPresses(const Channel& channel, const TuningRecipe& recipe) {
  int presses = 0;
  for (int key : recipe.before) presses += key != 0 ? 1 : 0;
  const int sending = static_cast<int>(sendingKeys(channel, recipe).size());
  return presses + sending * (recipe.againMs != 0 ? 2 : 1);
}

bool pressChannel(const DiagnosticLog& log, OpenBlaster& blaster, int ueitype, int ueicode,
                  const Channel& channel, const TuningRecipe& recipe, int& unacknowledged,
                  const std::function<bool()>& stopped) {
  bool acknowledged = true;
  // Each key as traced, then the pause the recipe adds; the first key not acknowledged, or a
  // stop, ends the channel.
  const auto press = [&](const TracedKey& traced) {
    if (!acknowledged) return;
    if (stopped && stopped()) {
      acknowledged = false;
      unacknowledged = 0;
      return;
    }
    LogMessage(log, traced.traced, traced.shown);
    acknowledged = blaster.press(traced.key, ueitype, ueicode);
    if (!acknowledged) {
      unacknowledged = traced.key;
    } else if (recipe.pauseMs > 0) {
      LogMessage(log, "MacroTune:Pause [%d]\n", recipe.pauseMs);
      blaster.pause(static_cast<unsigned>(recipe.pauseMs));
    }
  };
  bool before = false;
  for (int key : recipe.before) {
    if (key == 0) continue;
    press({"MacroTune:Emitting before [%d]\n", key, key});
    before = true;
  }
  if (acknowledged && before && recipe.waitMs > 0) {
    LogMessage(log, "MacroTune:Wait [%d]\n", recipe.waitMs);
    blaster.pause(static_cast<unsigned>(recipe.waitMs));
  }
  const std::vector<TracedKey> sending = sendingKeys(channel, recipe);
  for (const TracedKey& key : sending) press(key);
  if (!acknowledged || recipe.againMs == 0) return acknowledged;
  // Once more, for a box that now and then misses a digit; its first sending stands.
  if (stopped && stopped()) return true;
  LogMessage(log, "MacroTune:Again [%d]\n", recipe.againMs);
  blaster.pause(static_cast<unsigned>(recipe.againMs));
  for (const TracedKey& key : sending) press(key);
  if (!acknowledged && unacknowledged != 0) {
    LogMessage(log,
               "MacroTune:Err:Key not acknowledged [%d] in the second sending, the first "
               "stands\n",
               unacknowledged);
  }
  return true;
}

namespace {

// Tunes the channel (a whole one already checked) as the recipe says; MacroTune's road.
ControlResult tuneChannel(const ControlEnvironment& env, const Channel& channel,
                          const char* tunerName, const RecipeSettings& settings,
                          ControlResult result) {
  const TuningRecipe recipe = withSettings(
      env.recipePath.empty() ? TuningRecipe{} : ReadRecipe(env.log, env.recipePath, tunerName),
      settings);
  if (!channel.minor.empty() && recipe.dot == 0) {
    LogMessage(env.log, "MacroTune:Err:Sub-channel [%s] and no dot key in the recipe\n",
               channelText(channel).c_str());
    result.code = TUNER_NO_DOT_KEY;
    return result;
  }
  TunerSettings tuner;
  OpenBlaster blaster(BlasterLink{env.log, env.serial});
  if (!openTunerPort(env, "MacroTune", tunerName, tuner, blaster, result)) return result;
  int unacknowledged = 0;
  const bool acknowledged =
      pressChannel(env.log, blaster, tuner.ueitype, tuner.ueicode, channel, recipe, unacknowledged);
  blaster.close();
  if (!acknowledged) {
    LogMessage(env.log, "MacroTune:Err:Key not acknowledged, channel not sent\n");
    result.code = TUNER_KEY_NOT_ACKNOWLEDGED;
    result.what = "key";
    result.number = unacknowledged;
    result.numberText[0] = '\0';
    return result;
  }
  LogMessage(env.log, "MacroTune:End\n");
  result.code = TUNER_DONE;
  return result;
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
  return tuneChannel(env, whole, tunerName, settings, result);
}

ControlResult MacroTuneChannel(const ControlEnvironment& env, const char* text,
                               const char* tunerName, const RecipeSettings& settings) {
  Channel channel;
  if (text != nullptr && readChannel(text, channel) && channel.minor.empty()) {
    return MacroTune(env, channel.major, tunerName, settings);
  }
  LogMessage(env.log, "MacroTune:Start: Channel [%s] loadedDevName [%s]\n",
             text != nullptr ? text : "", tunerName);
  ControlResult result = startResult(env, "channel", tunerName);
  setField(result.numberText, text != nullptr ? text : "");
  if (text == nullptr || !readChannel(text, channel)) {
    LogMessage(env.log, "MacroTune:Err:Invalid channel [%s]\n", text != nullptr ? text : "");
    result.code = TUNER_INVALID_CHANNEL;
    return result;
  }
  setField(result.numberText, channelText(channel).c_str());
  return tuneChannel(env, channel, tunerName, settings, result);
}

}  // namespace tuner
