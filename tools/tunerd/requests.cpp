#include "requests.h"

#include <algorithm>
#include <vector>

#include "common/ascii_case.h"
#include "common/printable_text.h"
#include "lirc_protocol.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"
#include "tuner_requests.h"

namespace tunerd {
namespace {

Answer success(const Request& request, const std::vector<std::string>& data = {}) {
  return Answer{reply(request.line, true, data), true, std::string(), false};
}

Answer failure(const Request& request, const std::string& sentence) {
  return Answer{reply(request.line, false, {sentence}), false, sentence, false};
}

// An outcome as lircd's reply.
Answer answered(const Request& request, const Outcome& outcome) {
  return outcome.verdict == Verdict::kDone ? success(request) : failure(request, outcome.sentence);
}

Answer sendOnce(Service& service, const Request& request, const Client& client) {
  return answered(request, sendButtons(service, request.words, client));
}

// TUNE remote channel: the whole channel, as MacroTune sends it, by the tuner's recipe.
Answer tune(Service& service, const Request& request, const Client& client) {
  if (request.words.size() < 2) {
    return failure(request,
                   "TUNE needs a remote (a tuner name) and a channel (42, 4.1 for a "
                   "sub-channel, or a channel's name in channels.txt)");
  }
  // A channel's name may be words of its own: "TUNE Living. BBC One HD".
  std::string channel;
  for (std::size_t i = 1; i < request.words.size(); ++i) {
    channel += (i > 1 ? " " : "") + request.words[i];
  }
  return answered(request, tuneChannel(service, request.words[0], channel, client));
}

// LIST: the remotes; LIST remote: its buttons; LIST remote button: that one.
Answer list(Service& service, const Request& request, const Client&) {
  if (request.words.size() > 2) return failure(request, "LIST takes a remote and a button at most");
  if (!request.words.empty()) {
    const std::string tuner = tunerNameOf(service, request.words[0]).name;
    const TunerLine found = lookUpLine(service.log, service, tuner);
    if (found.result.code != TUNER_DONE) {
      return failure(request, tuner::resultSentence(found.result));
    }
    const std::vector<std::pair<std::string, int>> named = remoteButtons(service, tuner);
    if (request.words.size() == 2) {
      for (const auto& [name, key] : named) {
        if (tuner::sameIgnoringCase(name, request.words[1])) {
          return success(request, {listedButton(key, name)});
        }
      }
      return failure(request, "unknown button \"" + tuner::printable(request.words[1]) +
                                  "\" for remote \"" + tuner + "\"");
    }
    std::vector<std::string> buttons;
    for (const auto& [name, key] : named) buttons.push_back(listedButton(key, name));
    // The tuner's recipe, where it has one, as a last line of the same two fields.
    const tuner::TuningRecipe recipe =
        tuner::ReadRecipe(service.log, service.recipePath, tuner.c_str());
    const std::string described = tuner::describeRecipe(recipe);
    if (described != tuner::describeRecipe(tuner::TuningRecipe{})) {
      std::string shown = "RECIPE:" + described;
      std::replace(shown.begin(), shown.end(), ' ', '_');
      buttons.push_back(listedButton(0, shown));
    }
    return success(request, buttons);
  }
  std::vector<std::string> remotes;
  std::string problem;
  if (!tunerNames(service, remotes, problem)) return failure(request, problem);
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
