#include "tuner/key_commands.h"

#include <cstdio>
#include <cstring>

#include "blaster/open_blaster.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"
#include "tuner/tuner_request.h"

namespace tuner {

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
  TunerRequest request;
  request.caller = "PlayCommand";
  request.tuner = remote->name;
  const int key = keyNumberForCommand(command);
  request.keys = {key};
  request.keyTrace = "PlayCommand:Emitting [%d]\n";
  result.number = key;
  OpenForTheCall source(env);
  result = runRequest(env, request, source, result);
  if (result.code == TUNER_DONE && key == 0) result.code = TUNER_NOTHING_TO_SEND;
  return result;
}

}  // namespace tuner
