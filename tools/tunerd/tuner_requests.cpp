#include "tuner_requests.h"

#include <functional>

#include "button_names.h"
#include "common/printable_text.h"
#include "lirc_protocol.h"
#include "tuner/channel_text.h"
#include "tuner/control_result.h"
#include "tuner/key_commands.h"
#include "tuner/key_presses.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"

namespace tunerd {
namespace {

Outcome outcomeOf(Verdict verdict, int result, const std::string& sentence) {
  return Outcome{verdict, result, sentence};
}

Outcome lookupFailure(const TunerLine& tuner) {
  return outcomeOf(
      tuner.result.code == TUNER_NO_TUNER_LINE ? Verdict::kNoSuchTuner : Verdict::kFailed,
      tuner.result.code, tuner::resultSentence(tuner.result));
}

// Why a request got no turn at the blaster.
std::string noTurnSentence(BlasterPool::NoTurn why, const TunerLine& tuner) {
  const std::string port = tuner.settings.comPort;
  switch (why) {
    case BlasterPool::NoTurn::kGone:
      return "the client hung up before its turn: nothing was sent";
    case BlasterPool::NoTurn::kStopping:
      return "tunerd is stopping: nothing was sent";
    case BlasterPool::NoTurn::kSearching:
      return "a code-set search is running on " + port + ": nothing was sent";
    case BlasterPool::NoTurn::kTimedOut:
      break;
  }
  return "the blaster on " + port + " stayed busy with other clients' keys for " +
         std::to_string(kTurnWait.count()) + " s: nothing was sent";
}

using PressIn = std::function<tuner::Pressed(tuner::OpenBlaster&, const std::function<bool()>&)>;

// The keys on the tuner's open blaster, in its turn; they stop before the next key once tunerd
// stops or the client has hung up.
Outcome pressInTurn(Service& service, const Client& client, TunerLine& tuner, int presses,
                    const PressIn& press) {
  BlasterPool::NoTurn why{};
  const auto turn =
      service.blasters.take(tuner.settings.comPort, client.id, presses, client.gone, why);
  if (!turn) return outcomeOf(Verdict::kNoTurn, TUNER_PORT_BUSY, noTurnSentence(why, tuner));
  tuner::OpenBlaster& blaster = turn->blaster();
  if (!blaster.reclaim(tuner.settings.comPort)) {
    tuner::setPortProblem(tuner.result, blaster.problem());
    return outcomeOf(Verdict::kFailed, tuner.result.code, tuner::resultSentence(tuner.result));
  }
  const auto stopped = [&] { return service.stopping || (client.gone && client.gone()); };
  switch (press(blaster, stopped)) {
    case tuner::Pressed::kAll:
      return outcomeOf(Verdict::kDone, TUNER_DONE, tuner::resultSentence(tuner.result));
    case tuner::Pressed::kStopped:
      return outcomeOf(Verdict::kNoTurn, TUNER_PORT_BUSY,
                       service.stopping ? "tunerd is stopping: the rest was not sent"
                                        : "the client hung up: the rest was not sent");
    case tuner::Pressed::kNotAcknowledged:
      break;
  }
  return outcomeOf(Verdict::kFailed, tuner.result.code, tuner::resultSentence(tuner.result));
}

// The outcome, kept as the last result of a tuner the file has.
Outcome kept(Service& service, const TunerName& tuner, const Outcome& outcome) {
  if (tuner.known) service.results.set(tuner.name, outcome.result, outcome.sentence);
  return outcome;
}

}  // namespace

TunerName tunerNameOf(const Service& service, const std::string& remote) {
  std::vector<std::string> names;
  if (!tuner::readTunerNames(service.configPath, names)) return TunerName{remote, false};
  TunerName folded;
  for (const std::string& name : names) {
    if (name == remote) return TunerName{remote, true};
    if (!folded.known && sameIgnoringCase(name, remote)) folded = TunerName{name, true};
  }
  return folded.known ? folded : TunerName{remote, false};
}

TunerLine lookUpLine(const tuner::DiagnosticLog& log, const Service& service,
                     const std::string& name, const char* what) {
  TunerLine line;
  line.name = name;
  line.result.what = what;
  tuner::setField(line.result.tuner, name.c_str());
  tuner::setField(line.result.config, service.configPath.c_str());
  if (tuner::lookUpTuner(log, service.configPath, name.c_str(), line.settings, line.result)) {
    line.result.code = TUNER_DONE;
  }
  return line;
}

bool tunerNames(const Service& service, std::vector<std::string>& names, std::string& problem) {
  if (tuner::readTunerNames(service.configPath, names)) return true;
  tuner::ControlResult missing;
  missing.code = TUNER_FILE_MISSING;
  tuner::setField(missing.config, service.configPath.c_str());
  problem = tuner::resultSentence(missing);
  return false;
}

std::vector<std::pair<std::string, int>> remoteButtons(const Service& service,
                                                       const std::string& tuner) {
  std::vector<std::pair<std::string, int>> buttons;
  for (const std::string& digit : digitButtons()) buttons.emplace_back(digit, *buttonKey(digit));
  for (const auto& button : tuner::namedButtons(service.buttonsPath, tuner)) {
    buttons.push_back(button);
  }
  return buttons;
}

std::string channelRule() {
  return "a channel from 1 to " + std::string(static_cast<std::size_t>(kMaxChannelDigits), '9') +
         ", or a sub-channel such as 4.1";
}

Outcome sendButtons(Service& service, const std::vector<std::string>& words, const Client& client) {
  const TunerName name = tunerNameOf(service, words.empty() ? std::string() : words[0]);
  Request request;
  request.command = "SEND_ONCE";
  request.words = words;
  const SendOnce send = parseSendOnce(request, tuner::namedButtons(service.buttonsPath, name.name));
  if (!send.problem.empty()) {
    return kept(service, name,
                outcomeOf(Verdict::kWrongRequest, TUNER_INVALID_ARGUMENT, send.problem));
  }
  TunerLine tuner = lookUpLine(service.log, service, name.name, "key");
  if (tuner.result.code != TUNER_DONE) return kept(service, name, lookupFailure(tuner));
  std::vector<tuner::KeyPress> keys;
  for (int key : send.keys) keys.insert(keys.end(), send.count, tuner::KeyPress{key});
  tuner.result.number = send.keys.back();  // the sentence names the last key, as PlayCommand's
  return kept(service, name,
              pressInTurn(service, client, tuner, static_cast<int>(keys.size()),
                          [&](tuner::OpenBlaster& blaster, const std::function<bool()>& stopped) {
                            return tuner::pressKeys(service.log, blaster, tuner.settings, keys, 0,
                                                    tuner.result, stopped);
                          }));
}

Outcome tuneChannel(Service& service, const std::string& remote, const std::string& text,
                    const Client& client) {
  const TunerName name = tunerNameOf(service, remote);
  tuner::Channel channel;
  if (!parseChannel(text, channel)) {
    return kept(service, name,
                outcomeOf(Verdict::kWrongRequest, TUNER_INVALID_CHANNEL,
                          "\"" + tuner::printable(text.substr(0, 32)) + "\" is not " +
                              channelRule() + ": nothing was sent"));
  }
  TunerLine tuner = lookUpLine(service.log, service, name.name, "channel");
  // The result names the channel, as MacroTune's does.
  tuner.result.number = channel.major;
  if (!channel.minor.empty())
    tuner::setField(tuner.result.numberText, tuner::channelText(channel).c_str());
  if (tuner.result.code != TUNER_DONE) return kept(service, name, lookupFailure(tuner));
  const tuner::TuningRecipe recipe =
      tuner::ReadRecipe(service.log, service.recipePath, tuner.name.c_str());
  if (tuner::lacksDotKey(channel, recipe, tuner.result)) {
    return kept(
        service, name,
        outcomeOf(Verdict::kWrongRequest, tuner.result.code, tuner::resultSentence(tuner.result)));
  }
  return kept(service, name,
              pressInTurn(service, client, tuner, tuner::channelPresses(channel, recipe),
                          [&](tuner::OpenBlaster& blaster, const std::function<bool()>& stopped) {
                            return tuner::pressChannel(service.log, blaster, tuner.settings,
                                                       channel, recipe, tuner.result, stopped);
                          }));
}

}  // namespace tunerd
