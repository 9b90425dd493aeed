#include "tuner/tuner_request.h"

#include "blaster/blaster_protocol.h"
#include "tuner/channel_map.h"
#include "tuner/control_result.h"
#include "tuner/key_presses.h"
#include "tuner/tuner_lookup.h"

namespace tuner {
namespace {

bool isPortProblem(int code) { return code >= TUNER_PORT_NOT_FOUND && code <= TUNER_NO_BLASTER; }

// The recipe of the tuner, with the request's settings in place of its own.
TuningRecipe recipeOf(const ControlEnvironment& env, const TunerRequest& request,
                      const std::string& tuner) {
  return withSettings(
      env.recipePath.empty() ? TuningRecipe{} : ReadRecipe(env.log, env.recipePath, tuner.c_str()),
      request.settings);
}

// Whether a key of the request names no key of the blaster; result then says which.
bool keyOutOfRange(const TunerRequest& request, ControlResult& result) {
  for (int key : request.keys) {
    if (key != 0 && (key < protocol::kMinKey || key > protocol::kMaxKey)) {
      result.code = TUNER_KEY_OUT_OF_RANGE;
      result.number = key;
      return true;
    }
  }
  return false;
}

}  // namespace

OpenBlaster* OpenForTheCall::take(const TunerSettings& tuner, int, ControlResult& result) {
  if (blaster_.open(tuner.comPort)) return &blaster_;
  setPortProblem(result, blaster_.problem());
  return nullptr;
}

ControlResult runRequest(const ControlEnvironment& env, const TunerRequest& request,
                         BlasterSource& source, ControlResult result, RequestDetails* details) {
  const char* caller = request.caller;
  RequestDetails found;
  // The channel as the map has it: what is sent for the one asked.
  AskedChannel asked;
  if (request.isChannel && request.byText &&
      !resolveChannel(env.channelsPath, request.tuner, request.anyCase, request.channelText,
                      asked)) {
    LogMessage(env.log, "%s:Err:Invalid channel [%s]\n", caller, request.channelText.c_str());
    setField(result.numberText, request.channelText.c_str());
    result.code = TUNER_INVALID_CHANNEL;
    return result;
  }
  if (request.isChannel && !request.byText) {
    asked = resolveChannel(env.channelsPath, request.tuner, request.anyCase, request.channel);
  }
  if (asked.mapped) {
    const std::string box = channelText(asked.sent);
    LogMessage(env.log, "%s:Channel [%s] as [%s]\n", caller, asked.named.c_str(), box.c_str());
    setField(result.numberText, (asked.named + " as " + box).c_str());
  }
  found.channel = channelText(asked.asked);
  const Channel& channel = asked.sent;
  if (!request.isChannel && keyOutOfRange(request, result)) {
    LogMessage(env.log, "%s:Err:Key out of range [%d]\n", caller, result.number);
    return result;
  }
  const auto tooMany = [&](int presses) {
    if (request.maxPresses == 0 || presses <= request.maxPresses) return false;
    LogMessage(env.log, "%s:Err:Too many keys [%d]\n", caller, presses);
    result.code = TUNER_TOO_MANY_KEYS;
    result.limit = request.maxPresses;
    result.number = presses;
    result.numberText[0] = '\0';
    return true;
  };
  if (!request.isChannel && tooMany(static_cast<int>(request.keys.size()))) return result;
  TuningRecipe recipe;
  // The plug-in's recipe is read before its line, as it always was; a name of any case is
  // known by its spelling only once the line is found.
  const auto recipeAllows = [&](const std::string& tuner) {
    recipe = recipeOf(env, request, tuner);
    if (!lacksDotKey(channel, recipe, result)) return true;
    LogMessage(env.log, "%s:Err:Sub-channel [%s] and no dot key in the recipe\n", caller,
               channelText(channel).c_str());
    return false;
  };
  if (request.isChannel && !request.anyCase && !recipeAllows(request.tuner)) return result;
  TunerSettings tuner;
  std::string name = request.tuner;
  if (!lookUpTuner(env.log, env.configPath, request.tuner.c_str(), tuner, result, request.anyCase,
                   &name)) {
    LogMessage(env.log, "%s:Err:ReadCfg Failes\n", caller);
    return result;
  }
  found.spelled = name;
  if (details != nullptr) *details = found;
  if (request.isChannel && request.anyCase && !recipeAllows(name)) return result;
  LogMessage(env.log, "%s:Tuner[%s] comPort[%s] ueitype[%d] ueicode[%d]\n", caller, name.c_str(),
             tuner.comPort, tuner.ueitype, tuner.ueicode);
  const int presses =
      request.isChannel ? channelPresses(channel, recipe) : static_cast<int>(request.keys.size());
  if (request.isChannel && tooMany(presses)) return result;
  OpenBlaster* blaster = source.take(tuner, presses, result);
  if (blaster == nullptr) {
    LogMessage(env.log,
               isPortProblem(result.code) ? "%s:Err:Com port not opened\n"
                                          : "%s:Err:No turn at the blaster\n",
               caller);
    return result;
  }
  const auto stopped = [&] { return source.stopped(); };
  Pressed pressed = Pressed::kAll;
  if (request.isChannel) {
    pressed = pressChannel(env.log, *blaster, tuner, channel, recipe, result, stopped);
  } else {
    std::vector<KeyPress> keys;
    for (int key : request.keys) keys.push_back({key, request.keyTrace, key});
    pressed = pressKeys(env.log, *blaster, tuner, keys, 0, result, stopped);
  }
  source.give();
  switch (pressed) {
    case Pressed::kAll:
      LogMessage(env.log, "%s:End\n", caller);
      break;
    case Pressed::kStopped:
      LogMessage(env.log, "%s:Err:Stopped\n", caller);
      result.code = TUNER_STOPPING;
      break;
    case Pressed::kNotAcknowledged:
      if (request.isChannel) {
        LogMessage(env.log, "%s:Err:Key not acknowledged, channel not sent\n", caller);
      } else {
        LogMessage(env.log, "%s:Err:Key not acknowledged [%d]\n", caller, result.number);
      }
      break;
  }
  return result;
}

}  // namespace tuner
