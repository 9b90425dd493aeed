#include "tuner/key_commands.h"

#include <cstdio>
#include <cstring>

#include "blaster/open_blaster.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"

namespace tuner {

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

int digitKey(char digit) { return digit == '0' ? kZeroKey : digit - '0'; }

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
  const Pressed pressed =
      pressKeys(env.log, blaster, tuner, {{key, "PlayCommand:Emitting [%d]\n", key}}, 0, result);
  blaster.close();
  if (pressed != Pressed::kAll) {
    LogMessage(env.log, "PlayCommand:Err:Key not acknowledged [%d]\n", key);
    return result;
  }
  LogMessage(env.log, "PlayCommand:End\n");
  result.code = key == 0 ? TUNER_NOTHING_TO_SEND : TUNER_DONE;
  return result;
}

}  // namespace tuner
