#include "requests.h"

#include <vector>

#include "lirc_protocol.h"
#include "named_buttons.h"
#include "tuner/control_result.h"
#include "tuner/key_commands.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"

namespace tunerd {
namespace {

Answer success(const Request& request, const std::vector<std::string>& data = {}) {
  return Answer{reply(request.line, true, data), true, std::string()};
}

Answer failure(const Request& request, const std::string& sentence) {
  return Answer{reply(request.line, false, {sentence}), false, sentence};
}

// The tuner line of a remote, looked up afresh.
struct Tuner {
  tuner::ControlResult result;  // its code is TUNER_DONE once the line was found
  tuner::TunerSettings settings;
};

Tuner lookUp(const Service& service, const std::string& remote, const char* what) {
  Tuner tuner;
  tuner.result.what = what;
  tuner::setField(tuner.result.tuner, remote.c_str());
  tuner::setField(tuner.result.config, service.configPath.c_str());
  if (tuner::lookUpTuner(service.log, service.configPath, remote.c_str(), tuner.settings,
                         tuner.result)) {
    tuner.result.code = TUNER_DONE;
  }
  return tuner;
}

// The blaster of a tuner, opened and probed if it is not open already.
bool ready(tuner::OpenBlaster& blaster, Tuner& tuner) {
  if (blaster.isOpen() || blaster.open(tuner.settings.comPort)) return true;
  tuner::setPortProblem(tuner.result, blaster.problem());
  return false;
}

Answer sendOnce(Service& service, const Request& request, std::uint64_t connection) {
  const SendOnce send = parseSendOnce(
      request, request.words.empty() ? std::map<std::string, int>{}
                                     : namedButtons(service.buttonsPath, request.words[0]));
  if (!send.problem.empty()) return failure(request, send.problem);
  Tuner tuner = lookUp(service, send.remote, "key");
  if (tuner.result.code != TUNER_DONE) return failure(request, tuner::resultSentence(tuner.result));
  const auto turn = service.blasters.take(tuner.settings.comPort, connection);
  if (!ready(turn->blaster(), tuner)) return failure(request, tuner::resultSentence(tuner.result));
  for (int key : send.keys) {
    for (int i = 0; i < send.count; ++i) {
      if (service.stopping) return failure(request, "tunerd is stopping: the rest was not sent");
      if (!turn->blaster().press(key, tuner.settings.ueitype, tuner.settings.ueicode)) {
        turn->blaster().close();
        tuner.result.code = TUNER_KEY_NOT_ACKNOWLEDGED;
        tuner.result.number = key;
        return failure(request, tuner::resultSentence(tuner.result));
      }
    }
  }
  return success(request);
}

// TUNE remote channel: the whole channel, as MacroTune sends it.
Answer tune(Service& service, const Request& request, std::uint64_t connection) {
  int channel = 0;
  if (request.words.size() != 2 || !parseChannel(request.words[1], channel)) {
    return failure(request, "TUNE needs a remote (a tuner name) and a channel of 1 or more");
  }
  Tuner tuner = lookUp(service, request.words[0], "channel");
  if (tuner.result.code != TUNER_DONE) return failure(request, tuner::resultSentence(tuner.result));
  const tuner::TuningRecipe recipe =
      tuner::ReadRecipe(service.log, service.recipePath, request.words[0].c_str());
  const auto turn = service.blasters.take(tuner.settings.comPort, connection);
  if (!ready(turn->blaster(), tuner)) return failure(request, tuner::resultSentence(tuner.result));
  int unacknowledged = 0;
  if (!tuner::pressChannel(service.log, turn->blaster(), tuner.settings.ueitype,
                           tuner.settings.ueicode, channel, recipe, unacknowledged)) {
    turn->blaster().close();
    tuner.result.code = TUNER_KEY_NOT_ACKNOWLEDGED;
    tuner.result.number = unacknowledged;
    return failure(request, tuner::resultSentence(tuner.result));
  }
  return success(request);
}

Answer list(const Service& service, const Request& request) {
  if (request.words.size() > 1) return failure(request, "LIST takes at most one remote");
  if (request.words.size() == 1) {
    const Tuner tuner = lookUp(service, request.words[0], "key");
    if (tuner.result.code != TUNER_DONE)
      return failure(request, tuner::resultSentence(tuner.result));
    std::vector<std::string> buttons = digitButtons();
    for (const auto& [name, key] : namedButtons(service.buttonsPath, request.words[0])) {
      buttons.push_back(name);
    }
    return success(request, buttons);
  }
  std::vector<std::string> remotes;
  if (!tuner::readTunerNames(service.configPath, remotes)) {
    tuner::ControlResult missing;
    missing.code = TUNER_FILE_MISSING;
    tuner::setField(missing.config, service.configPath.c_str());
    return failure(request, tuner::resultSentence(missing));
  }
  return success(request, remotes);
}

}  // namespace

Answer answer(Service& service, const std::string& line, std::uint64_t connection) {
  const Request request = parseRequest(line);
  if (request.command == "SEND_ONCE") return sendOnce(service, request, connection);
  if (request.command == "TUNE") return tune(service, request, connection);
  if (request.command == "LIST") return list(service, request);
  if (request.command == "VERSION") {
    if (!request.words.empty()) return failure(request, "VERSION takes no words");
    return success(request, {"tunerd " TUNER_VERSION});
  }
  if (request.command == "SEND_START" || request.command == "SEND_STOP") {
    return failure(request, request.command +
                                " is not supported: a blaster presses whole keys, so use "
                                "SEND_ONCE (irsend -# N for a key held N presses long)");
  }
  if (request.command == "SET_TRANSMITTERS") {
    return failure(request,
                   "SET_TRANSMITTERS is not supported: each blaster has one "
                   "transmitter, chosen by the tuner line's port");
  }
  if (request.command.empty()) return failure(request, "empty request");
  std::string shown = request.command.substr(0, 32);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return failure(request, "unknown command \"" + shown +
                              "\": tunerd answers SEND_ONCE, LIST, VERSION and TUNE");
}

}  // namespace tunerd
