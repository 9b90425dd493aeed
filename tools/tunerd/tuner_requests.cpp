#include "tuner_requests.h"

#include <memory>

#include "blaster/serial_services.h"
#include "button_names.h"
#include "common/ascii_case.h"
#include "common/printable_text.h"
#include "lirc_protocol.h"
#include "tuner/channel_map.h"
#include "tuner/channel_text.h"
#include "tuner/request_limits.h"
#include "tuner/tuner_config.h"

namespace tunerd {
namespace {

// The trace's name of tunerd's requests.
constexpr const char* kCaller = "tunerd";

// A request's blaster: its turn at the pool's, taken back from other programs if they had it.
class TurnAtPool final : public tuner::BlasterSource {
 public:
  TurnAtPool(Service& service, const Client& client) : service_(service), client_(client) {}

  tuner::OpenBlaster* take(const tuner::TunerSettings& tuner, int presses,
                           tuner::ControlResult& result) override {
    BlasterPool::NoTurn why{};
    turn_ = service_.blasters.take(tuner.comPort, client_.id, presses, client_.gone, why);
    if (!turn_) {
      result.code = why == BlasterPool::NoTurn::kGone        ? TUNER_CLIENT_GONE
                    : why == BlasterPool::NoTurn::kStopping  ? TUNER_STOPPING
                    : why == BlasterPool::NoTurn::kSearching ? TUNER_SEARCH_RUNNING
                                                             : TUNER_NO_TURN;
      return nullptr;
    }
    tuner::OpenBlaster& blaster = turn_->blaster();
    if (!blaster.reclaim(tuner.comPort)) {
      tuner::setPortProblem(result, blaster.problem());
      turn_.reset();
      return nullptr;
    }
    return &blaster;
  }
  void give() override { turn_.reset(); }
  // Begun, a request is sent whole whoever hangs up; only tunerd's stop ends it.
  bool stopped() override { return service_.stopping; }

 private:
  Service& service_;
  const Client& client_;
  std::unique_ptr<BlasterPool::Turn> turn_;
};

Outcome outcomeOf(const tuner::ControlResult& result) {
  return Outcome{verdictOf(result.code), result.code, tuner::resultSentence(result)};
}

}  // namespace

Verdict verdictOf(int result) {
  switch (result) {
    case TUNER_DONE:
      return Verdict::kDone;
    case TUNER_NO_TUNER_LINE:
      return Verdict::kNoSuchTuner;
    case TUNER_NO_TURN:
    case TUNER_SEARCH_RUNNING:
      return Verdict::kNoTurn;
    case TUNER_CLIENT_GONE:
    case TUNER_STOPPING:
      return Verdict::kDropped;
    case TUNER_INVALID_CHANNEL:
    case TUNER_INVALID_ARGUMENT:
    case TUNER_NO_DOT_KEY:
    case TUNER_TOO_MANY_KEYS:
    case TUNER_UNKNOWN_BUTTON:
    case TUNER_KEY_OUT_OF_RANGE:
    case TUNER_NOTHING_TO_SEND:
      return Verdict::kWrongRequest;
    default:
      return Verdict::kFailed;
  }
}

TunerName tunerNameOf(const Service& service, const std::string& remote) {
  std::vector<std::string> names;
  if (!tuner::readTunerNames(service.configPath, names)) return TunerName{remote, false};
  TunerName folded;
  for (const std::string& name : names) {
    if (name == remote) return TunerName{remote, true};
    if (!folded.known && tuner::sameIgnoringCase(name, remote)) folded = TunerName{name, true};
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

namespace {

std::string missingFile(const Service& service) {
  tuner::ControlResult missing;
  missing.code = TUNER_FILE_MISSING;
  tuner::setField(missing.config, service.configPath.c_str());
  return tuner::resultSentence(missing);
}

}  // namespace

bool tunerNames(const Service& service, std::vector<std::string>& names, std::string& problem) {
  if (tuner::readTunerNames(service.configPath, names)) return true;
  problem = missingFile(service);
  return false;
}

bool tunerLines(const Service& service, std::vector<tuner::TunerLine>& lines,
                std::string& problem) {
  if (tuner::readTunerLines(service.configPath, lines)) return true;
  problem = missingFile(service);
  return false;
}

std::vector<tuner::NamedButton> tunerButtons(const Service& service, const std::string& tuner) {
  return tuner::buttonsAsWritten(service.buttonsPath, tuner, true);
}

std::vector<tuner::ChannelEntry> tunerChannels(const Service& service, const std::string& tuner) {
  return tuner::channelsOf(service.channelsPath, tuner, true);
}

std::vector<std::pair<std::string, int>> remoteButtons(const Service& service,
                                                       const std::string& tuner) {
  std::vector<std::pair<std::string, int>> buttons;
  for (const std::string& digit : digitButtons()) buttons.emplace_back(digit, *buttonKey(digit));
  for (const auto& button : tuner::namedButtons(service.buttonsPath, tuner, true)) {
    buttons.push_back(button);
  }
  return buttons;
}

tuner::ControlEnvironment requestEnvironment(const Service& service) {
  return tuner::ControlEnvironment{service.log, service.configPath, tuner::platformSerial(),
                                   service.recipePath, service.channelsPath};
}

TunerRequest TunerRequest::forKeys(Service& service, const std::string& remote) {
  TunerRequest made;
  made.request_.caller = kCaller;
  made.request_.tuner = remote;
  made.request_.anyCase = true;
  made.request_.keyTrace = "tunerd:Emitting [%d]\n";
  made.request_.maxPresses = tuner::kMaxPresses;
  made.started_ = tuner::startResult(requestEnvironment(service), "key", remote.c_str());
  return made;
}

TunerRequest TunerRequest::presses(Service& service, const std::string& remote,
                                   const std::vector<Press>& presses, int count) {
  TunerRequest made = forKeys(service, remote);
  const std::map<std::string, int> named = tuner::namedButtons(service.buttonsPath, remote, true);
  for (const Press& press : presses) {
    const std::optional<int> key =
        press.button.empty() ? std::optional<int>(press.key) : remoteButtonKey(press.button, named);
    if (!key) {
      made.started_.code = TUNER_UNKNOWN_BUTTON;
      tuner::setField(made.started_.command, tuner::printable(press.button).c_str());
      made.outcome_ = outcomeOf(made.started_);
      return made;
    }
    made.request_.keys.insert(made.request_.keys.end(), static_cast<std::size_t>(count), *key);
    made.started_.number = *key;  // the sentence names the last key
  }
  made.ready_ = !made.request_.keys.empty();
  if (!made.ready_) {
    made.outcome_ = Outcome{Verdict::kWrongRequest, TUNER_INVALID_ARGUMENT, "no key to press"};
  }
  return made;
}

TunerRequest TunerRequest::keys(Service& service, const std::vector<std::string>& words) {
  const std::string remote = words.empty() ? std::string() : words[0];
  TunerRequest made = forKeys(service, remote);
  Request line;
  line.command = "SEND_ONCE";
  line.words = words;
  const SendOnce send = parseSendOnce(line, tuner::namedButtons(service.buttonsPath, remote, true));
  if (!send.unknownButton.empty()) {
    made.started_.code = TUNER_UNKNOWN_BUTTON;
    tuner::setField(made.started_.command, tuner::printable(send.unknownButton).c_str());
    made.outcome_ = outcomeOf(made.started_);
    return made;
  }
  if (!send.problem.empty()) {
    made.outcome_ = Outcome{Verdict::kWrongRequest, TUNER_INVALID_ARGUMENT, send.problem};
    return made;
  }
  for (int key : send.keys) made.request_.keys.insert(made.request_.keys.end(), send.count, key);
  made.started_.number = send.keys.back();  // the sentence names the last key
  made.ready_ = true;
  return made;
}

TunerRequest TunerRequest::channel(Service& service, const std::string& remote,
                                   const std::string& text) {
  TunerRequest made;
  made.request_.caller = kCaller;
  made.request_.tuner = remote;
  made.request_.anyCase = true;
  made.request_.isChannel = true;
  made.request_.maxPresses = tuner::kMaxChannelPresses;
  made.started_ = tuner::startResult(requestEnvironment(service), "channel", remote.c_str());
  // A channel, or a channel's name in the map, as the road will read it.
  tuner::AskedChannel asked;
  if (!tuner::resolveChannel(service.channelsPath, remote, true, text, asked)) {
    made.started_.code = TUNER_INVALID_CHANNEL;
    tuner::setField(made.started_.numberText, tuner::printable(text.substr(0, 32)).c_str());
    made.outcome_ = outcomeOf(made.started_);
    return made;
  }
  made.request_.byText = true;
  made.request_.channelText = text;
  // The result names the channel, as MacroTune's does.
  made.started_.number = asked.asked.major;
  if (!asked.asked.minor.empty()) {
    tuner::setField(made.started_.numberText, tuner::channelText(asked.asked).c_str());
  }
  made.ready_ = true;
  return made;
}

// A request's last result is kept when it reached the blaster or failed at it; a mistake in the
// request itself, or a client that left, is its client's to know.
Outcome TunerRequest::run(Service& service, const Client& client) const {
  if (!ready_) return outcome_;
  TurnAtPool source(service, client);
  tuner::RequestDetails found;
  const tuner::ControlResult result =
      tuner::runRequest(requestEnvironment(service), request_, source, started_, &found);
  const std::string& spelled = found.spelled;
  const Outcome outcome = outcomeOf(result);
  const bool kept = outcome.verdict == Verdict::kDone || outcome.verdict == Verdict::kFailed ||
                    outcome.verdict == Verdict::kNoTurn;
  if (kept && !spelled.empty()) {
    const bool tuned = request_.isChannel && outcome.verdict == Verdict::kDone;
    service.results.set(spelled, outcome.result, outcome.sentence,
                        tuned ? found.channel : std::string());
  }
  return outcome;
}

Outcome sendButtons(Service& service, const std::vector<std::string>& words, const Client& client) {
  return TunerRequest::keys(service, words).run(service, client);
}

Outcome tuneChannel(Service& service, const std::string& remote, const std::string& channel,
                    const Client& client) {
  return TunerRequest::channel(service, remote, channel).run(service, client);
}

}  // namespace tunerd
