#include "tuner_requests.h"

#include <functional>

#include "button_names.h"
#include "common/printable_text.h"
#include "lirc_protocol.h"
#include "tuner/key_commands.h"
#include "tuner/tuner_config.h"

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
Outcome noTurn(BlasterPool::NoTurn why, const TunerLine& tuner) {
  const std::string port = tuner.settings.comPort;
  switch (why) {
    case BlasterPool::NoTurn::kGone:
      return outcomeOf(Verdict::kDropped, TUNER_PORT_BUSY,
                       "the client hung up before its turn: nothing was sent");
    case BlasterPool::NoTurn::kStopping:
      return outcomeOf(Verdict::kDropped, TUNER_PORT_BUSY, "tunerd is stopping: nothing was sent");
    case BlasterPool::NoTurn::kSearching:
      return outcomeOf(Verdict::kNoTurn, TUNER_PORT_BUSY,
                       "a code-set search is running on " + port + ": nothing was sent");
    case BlasterPool::NoTurn::kTimedOut:
      break;
  }
  return outcomeOf(Verdict::kNoTurn, TUNER_PORT_BUSY,
                   "the blaster on " + port + " stayed busy with other clients' keys for " +
                       std::to_string(kTurnWait.count()) + " s: nothing was sent");
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

// A request's last result is kept when it reached the blaster or failed at it; a mistake in the
// request itself, or a client that left, is its client's to know.
Outcome TunerRequest::done(Service& service, const Outcome& outcome) {
  const bool kept = outcome.verdict == Verdict::kDone || outcome.verdict == Verdict::kFailed ||
                    outcome.verdict == Verdict::kNoTurn;
  const bool tuned = isChannel_ && outcome.verdict == Verdict::kDone;
  if (kept && name_.known) {
    service.results.set(name_.name, outcome.result, outcome.sentence,
                        tuned ? tuner::channelText(channel_) : std::string());
  }
  return outcome;
}

TunerRequest TunerRequest::keys(Service& service, const std::vector<std::string>& words) {
  TunerRequest request;
  request.name_ = tunerNameOf(service, words.empty() ? std::string() : words[0]);
  Request line;
  line.command = "SEND_ONCE";
  line.words = words;
  const SendOnce send =
      parseSendOnce(line, tuner::namedButtons(service.buttonsPath, request.name_.name));
  if (!send.problem.empty()) {
    request.outcome_ = outcomeOf(Verdict::kWrongRequest, TUNER_INVALID_ARGUMENT, send.problem);
    return request;
  }
  request.line_ = lookUpLine(service.log, service, request.name_.name, "key");
  if (request.line_.result.code != TUNER_DONE) {
    request.outcome_ = lookupFailure(request.line_);
    return request;
  }
  for (int key : send.keys) request.keys_.insert(request.keys_.end(), send.count, {key});
  request.line_.result.number = send.keys.back();  // the sentence names the last key
  request.ready_ = true;
  return request;
}

TunerRequest TunerRequest::channel(Service& service, const std::string& remote,
                                   const std::string& text) {
  TunerRequest request;
  request.name_ = tunerNameOf(service, remote);
  request.isChannel_ = true;
  if (!parseChannel(text, request.channel_)) {
    request.outcome_ = outcomeOf(Verdict::kWrongRequest, TUNER_INVALID_CHANNEL,
                                 "\"" + tuner::printable(text.substr(0, 32)) + "\" is not " +
                                     channelRule() + ": nothing was sent");
    return request;
  }
  TunerLine& tuner = request.line_;
  tuner = lookUpLine(service.log, service, request.name_.name, "channel");
  // The result names the channel, as MacroTune's does.
  tuner.result.number = request.channel_.major;
  if (!request.channel_.minor.empty()) {
    tuner::setField(tuner.result.numberText, tuner::channelText(request.channel_).c_str());
  }
  if (tuner.result.code != TUNER_DONE) {
    request.outcome_ = lookupFailure(tuner);
    return request;
  }
  request.recipe_ = tuner::ReadRecipe(service.log, service.recipePath, tuner.name.c_str());
  if (tuner::lacksDotKey(request.channel_, request.recipe_, tuner.result)) {
    request.outcome_ =
        outcomeOf(Verdict::kWrongRequest, tuner.result.code, tuner::resultSentence(tuner.result));
    return request;
  }
  request.ready_ = true;
  return request;
}

Outcome TunerRequest::run(Service& service, const Client& client) {
  if (!ready_) return done(service, outcome_);
  TunerLine& tuner = line_;
  const int presses =
      isChannel_ ? tuner::channelPresses(channel_, recipe_) : static_cast<int>(keys_.size());
  BlasterPool::NoTurn why{};
  const auto turn =
      service.blasters.take(tuner.settings.comPort, client.id, presses, client.gone, why);
  if (!turn) return done(service, noTurn(why, tuner));
  tuner::OpenBlaster& blaster = turn->blaster();
  if (!blaster.reclaim(tuner.settings.comPort)) {
    tuner::setPortProblem(tuner.result, blaster.problem());
    return done(service, outcomeOf(Verdict::kFailed, tuner.result.code,
                                   tuner::resultSentence(tuner.result)));
  }
  // Begun, it is sent whole whoever hangs up; only tunerd's stop ends it after the key in
  // flight.
  const auto stopped = [&] { return service.stopping.load(); };
  const tuner::Pressed pressed =
      isChannel_
          ? tuner::pressChannel(service.log, blaster, tuner.settings, channel_, recipe_,
                                tuner.result, stopped)
          : tuner::pressKeys(service.log, blaster, tuner.settings, keys_, 0, tuner.result, stopped);
  switch (pressed) {
    case tuner::Pressed::kAll:
      return done(service,
                  outcomeOf(Verdict::kDone, TUNER_DONE, tuner::resultSentence(tuner.result)));
    case tuner::Pressed::kStopped:
      return done(service, outcomeOf(Verdict::kDropped, TUNER_PORT_BUSY,
                                     "tunerd is stopping: the rest was not sent"));
    case tuner::Pressed::kNotAcknowledged:
      break;
  }
  return done(service,
              outcomeOf(Verdict::kFailed, tuner.result.code, tuner::resultSentence(tuner.result)));
}

Outcome sendButtons(Service& service, const std::vector<std::string>& words, const Client& client) {
  return TunerRequest::keys(service, words).run(service, client);
}

Outcome tuneChannel(Service& service, const std::string& remote, const std::string& channel,
                    const Client& client) {
  return TunerRequest::channel(service, remote, channel).run(service, client);
}

}  // namespace tunerd
