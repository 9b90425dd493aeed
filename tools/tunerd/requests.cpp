#include "requests.h"

#include <algorithm>
#include <vector>

#include "common/printable_text.h"
#include "lirc_protocol.h"
#include "named_buttons.h"
#include "tuner/control_result.h"
#include "tuner/key_commands.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"

namespace tunerd {
namespace {

Answer success(const Request& request, const std::vector<std::string>& data = {}) {
  return Answer{reply(request.line, true, data), true, std::string(), false};
}

Answer failure(const Request& request, const std::string& sentence) {
  return Answer{reply(request.line, false, {sentence}), false, sentence, false};
}

// The tuner line of a remote, looked up afresh. Remotes match tuner names without regard to
// case, as lircd's do; an exact match wins.
struct Tuner {
  std::string name;             // as the tuner file spells it
  tuner::ControlResult result;  // its code is TUNER_DONE once the line was found
  tuner::TunerSettings settings;
};

std::string tunerNameOf(const Service& service, const std::string& remote) {
  std::vector<std::string> names;
  if (!tuner::readTunerNames(service.configPath, names)) return remote;
  std::string folded;
  for (const std::string& name : names) {
    if (name == remote) return remote;
    if (folded.empty() && sameIgnoringCase(name, remote)) folded = name;
  }
  return folded.empty() ? remote : folded;
}

// The line of the tuner a remote names, as tunerNameOf found it.
Tuner lookUp(const Service& service, const std::string& name, const char* what) {
  Tuner tuner;
  tuner.name = name;
  tuner.result.what = what;
  tuner::setField(tuner.result.tuner, tuner.name.c_str());
  tuner::setField(tuner.result.config, service.configPath.c_str());
  if (tuner::lookUpTuner(service.log, service.configPath, tuner.name.c_str(), tuner.settings,
                         tuner.result)) {
    tuner.result.code = TUNER_DONE;
  }
  return tuner;
}

// Why a request got no turn at the blaster, or why its keys stopped.
std::string noTurnSentence(BlasterPool::NoTurn why, const Tuner& tuner) {
  switch (why) {
    case BlasterPool::NoTurn::kGone:
      return "the client hung up before its turn: nothing was sent";
    case BlasterPool::NoTurn::kStopping:
      return "tunerd is stopping: nothing was sent";
    case BlasterPool::NoTurn::kTimedOut:
      break;
  }
  return "the blaster on " + std::string(tuner.settings.comPort) + " stayed busy with other " +
         "clients' keys for " + std::to_string(kTurnWait.count()) + " s: nothing was sent";
}

// What presses a request's keys on the tuner's open blaster, through the core's one road.
using PressIn = std::function<tuner::Pressed(tuner::OpenBlaster&, const std::function<bool()>&)>;

// The request's keys on the tuner's blaster, in its turn; they stop before the next key once
// tunerd stops or the client has hung up.
Answer pressInTurn(Service& service, const Request& request, const Client& client, Tuner& tuner,
                   int presses, const PressIn& press) {
  BlasterPool::NoTurn why{};
  const auto turn =
      service.blasters.take(tuner.settings.comPort, client.id, presses, client.gone, why);
  if (!turn) return failure(request, noTurnSentence(why, tuner));
  tuner::OpenBlaster& blaster = turn->blaster();
  if (!blaster.reclaim(tuner.settings.comPort)) {
    tuner::setPortProblem(tuner.result, blaster.problem());
    return failure(request, tuner::resultSentence(tuner.result));
  }
  const auto stopped = [&] { return service.stopping || (client.gone && client.gone()); };
  switch (press(blaster, stopped)) {
    case tuner::Pressed::kAll:
      return success(request);
    case tuner::Pressed::kStopped:
      return failure(request, service.stopping ? "tunerd is stopping: the rest was not sent"
                                               : "the client hung up: the rest was not sent");
    case tuner::Pressed::kNotAcknowledged:
      break;
  }
  return failure(request, tuner::resultSentence(tuner.result));
}

Answer sendOnce(Service& service, const Request& request, const Client& client) {
  const std::string remote = request.words.empty() ? std::string() : request.words[0];
  const std::string name = tunerNameOf(service, remote);
  const SendOnce send = parseSendOnce(request, namedButtons(service.buttonsPath, name));
  if (!send.problem.empty()) return failure(request, send.problem);
  Tuner tuner = lookUp(service, name, "key");
  if (tuner.result.code != TUNER_DONE) return failure(request, tuner::resultSentence(tuner.result));
  std::vector<tuner::KeyPress> keys;
  for (int key : send.keys) keys.insert(keys.end(), send.count, tuner::KeyPress{key});
  return pressInTurn(service, request, client, tuner, static_cast<int>(keys.size()),
                     [&](tuner::OpenBlaster& blaster, const std::function<bool()>& stopped) {
                       return tuner::pressKeys(service.log, blaster, tuner.settings, keys, 0,
                                               tuner.result, stopped);
                     });
}

// TUNE remote channel: the whole channel, as MacroTune sends it, by the tuner's recipe.
Answer tune(Service& service, const Request& request, const Client& client) {
  tuner::Channel channel;
  if (request.words.size() != 2 || !parseChannel(request.words[1], channel)) {
    return failure(request, "TUNE needs a remote (a tuner name) and a channel from 1 to " +
                                std::string(static_cast<std::size_t>(kMaxChannelDigits), '9') +
                                ", or a sub-channel such as 4.1");
  }
  Tuner tuner = lookUp(service, tunerNameOf(service, request.words[0]), "channel");
  if (tuner.result.code != TUNER_DONE) return failure(request, tuner::resultSentence(tuner.result));
  const tuner::TuningRecipe recipe =
      tuner::ReadRecipe(service.log, service.recipePath, tuner.name.c_str());
  if (tuner::lacksDotKey(channel, recipe, tuner.result)) {
    return failure(request, tuner::resultSentence(tuner.result));
  }
  return pressInTurn(service, request, client, tuner, tuner::channelPresses(channel, recipe),
                     [&](tuner::OpenBlaster& blaster, const std::function<bool()>& stopped) {
                       return tuner::pressChannel(service.log, blaster, tuner.settings, channel,
                                                  recipe, tuner.result, stopped);
                     });
}

// LIST: the remotes; LIST remote: its buttons; LIST remote button: that one.
Answer list(Service& service, const Request& request, const Client&) {
  if (request.words.size() > 2) return failure(request, "LIST takes a remote and a button at most");
  if (!request.words.empty()) {
    const Tuner tuner = lookUp(service, tunerNameOf(service, request.words[0]), "key");
    if (tuner.result.code != TUNER_DONE)
      return failure(request, tuner::resultSentence(tuner.result));
    std::vector<std::pair<std::string, int>> named;
    for (const std::string& digit : digitButtons()) named.emplace_back(digit, *buttonKey(digit));
    for (const auto& button : namedButtons(service.buttonsPath, tuner.name))
      named.push_back(button);
    if (request.words.size() == 2) {
      for (const auto& [name, key] : named) {
        if (sameIgnoringCase(name, request.words[1])) {
          return success(request, {listedButton(key, name)});
        }
      }
      return failure(request, "unknown button \"" + tuner::printable(request.words[1]) +
                                  "\" for remote \"" + tuner.name + "\"");
    }
    std::vector<std::string> buttons;
    for (const auto& [name, key] : named) buttons.push_back(listedButton(key, name));
    // The tuner's recipe, where it has one, as a last line of the same two fields.
    const tuner::TuningRecipe recipe =
        tuner::ReadRecipe(service.log, service.recipePath, tuner.name.c_str());
    const std::string described = tuner::describeRecipe(recipe);
    if (described != tuner::describeRecipe(tuner::TuningRecipe{})) {
      std::string shown = "RECIPE:" + described;
      std::replace(shown.begin(), shown.end(), ' ', '_');
      buttons.push_back(listedButton(0, shown));
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

Answer version(Service&, const Request& request, const Client&) {
  if (!request.words.empty()) return failure(request, "VERSION takes no words");
  return success(request, {"tunerd " TUNER_VERSION});
}

Answer wholeKeysOnly(Service&, const Request& request, const Client&) {
  return failure(request, request.command +
                              " is not supported: a blaster presses whole keys, so use SEND_ONCE "
                              "(irsend -# N for a key held N presses long)");
}

Answer oneTransmitter(Service&, const Request& request, const Client&) {
  return failure(request, request.command +
                              " is not supported: each blaster has one transmitter, chosen by "
                              "the tuner line's port");
}

// lircd's commands, each answered here or said to be unsupported.
struct Command {
  const char* name;
  Answer (*run)(Service&, const Request&, const Client&);
};
const Command kCommands[] = {
    {"SEND_ONCE", sendOnce},
    {"TUNE", tune},
    {"LIST", list},
    {"VERSION", version},
    {"SEND_START", wholeKeysOnly},
    {"SEND_STOP", wholeKeysOnly},
    {"SET_TRANSMITTERS", oneTransmitter},
};

}  // namespace

Answer answer(Service& service, const std::string& line, const Client& client) {
  const Request request = parseRequest(line);
  if (request.hasNul) return failure(request, "a request has no NUL bytes");
  if (request.command.empty()) return failure(request, "empty request");
  for (const Command& command : kCommands) {
    if (request.command == command.name) return command.run(service, request, client);
  }
  // Anything else (an HTTP request from a web page, say) ends the connection before its next
  // line can run.
  Answer refused =
      failure(request, "unknown command \"" + tuner::printable(request.command.substr(0, 32)) +
                           "\": tunerd answers SEND_ONCE, LIST, VERSION and TUNE; "
                           "connection closed");
  refused.close = true;
  return refused;
}

}  // namespace tunerd
