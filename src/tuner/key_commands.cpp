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

int channelPresses(int channel, const TuningRecipe& recipe) {
  return static_cast<int>(channelKeys(channel, recipe.digits).size()) +
         (recipe.before != 0 ? 1 : 0) + (recipe.enter != 0 ? 1 : 0);
}

bool pressChannel(const DiagnosticLog& log, OpenBlaster& blaster, int ueitype, int ueicode,
                  int channel, const TuningRecipe& recipe, int& unacknowledged,
                  const std::function<bool()>& stopped) {
  bool acknowledged = true;
  // Each key as traced, then the pause the recipe adds; the first key not acknowledged, or a
  // stop, ends the channel.
  const auto press = [&](const char* traced, int shown, int key) {
    if (!acknowledged) return;
    if (stopped && stopped()) {
      acknowledged = false;
      unacknowledged = 0;
      return;
    }
    LogMessage(log, traced, shown);
    acknowledged = blaster.press(key, ueitype, ueicode);
    if (!acknowledged) {
      unacknowledged = key;
    } else if (recipe.pauseMs > 0) {
      LogMessage(log, "MacroTune:Pause [%d]\n", recipe.pauseMs);
      blaster.pause(static_cast<unsigned>(recipe.pauseMs));
    }
  };
  if (recipe.before != 0) press("MacroTune:Emitting before [%d]\n", recipe.before, recipe.before);
  for (int i = 0; i < leadingZeroKeys(channel, recipe.digits); ++i) {
    press("MacroTune:Emitting hdr [%d]\n", 0, kZeroKey);
  }
  for (int key : digitKeys(channel)) press("MacroTune:Emitting [%d]\n", key, key);
  if (recipe.enter != 0) press("MacroTune:Emitting enter [%d]\n", recipe.enter, recipe.enter);
  return acknowledged;
}

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
  const TuningRecipe recipe = withSettings(
      env.recipePath.empty() ? TuningRecipe{} : ReadRecipe(env.log, env.recipePath, tunerName),
      settings);
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
    return result;
  }
  LogMessage(env.log, "MacroTune:End\n");
  result.code = TUNER_DONE;
  return result;
}

}  // namespace tuner
