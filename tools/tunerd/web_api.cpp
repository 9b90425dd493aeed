// The tuners under /api/tuners: what each is, and its keys and channels.
#include <algorithm>

#include "background.h"
#include "button_names.h"
#include "common/ascii_case.h"
#include "http_framing.h"
#include "lirc_protocol.h"
#include "tuner/channel_map.h"
#include "tuner/control_result.h"
#include "tuner/request_limits.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"
#include "tuner_requests.h"
#include "web_json.h"
#include "web_site.h"

namespace tunerd {
namespace {

int statusOf(const Outcome& outcome) {
  switch (outcome.verdict) {
    case Verdict::kDone:
      return 200;
    case Verdict::kWrongRequest:
      return 400;
    case Verdict::kNoSuchTuner:
      return 404;
    case Verdict::kNoTurn:
    case Verdict::kDropped:
      return 503;
    case Verdict::kFailed:
      break;
  }
  // The files are wrong, or the blaster failed.
  return outcome.result == TUNER_FILE_MISSING || outcome.result == TUNER_LINE_UNUSABLE ? 500 : 502;
}

void answerOutcome(httplib::Response& response, const std::string& tuner, const Outcome& outcome) {
  answerJson(response, statusOf(outcome), Json{{"tuner", tuner}, {"result", outcome.result}},
             outcome.sentence);
}

// One tuner as the page shows it, from its line. Read without the trace: reading is no call.
Json describeTuner(const Service& service, const tuner::TunerLine& line) {
  const tuner::DiagnosticLog untraced{std::string()};
  const std::string& name = line.name;
  const tuner::TuningRecipe recipe = tuner::ReadRecipe(untraced, service.recipePath, name.c_str());
  Json buttons = Json::array();
  for (const std::string& digit : digitButtons()) {
    buttons.push_back(Json{{"name", digit}, {"key", *buttonKey(digit)}});
  }
  for (const tuner::NamedButton& button : tunerButtons(service, name)) {
    buttons.push_back(Json{{"name", button.written}, {"key", button.key}});
  }
  Json tuner{{"name", name},
             {"port", line.port},
             {"ueitype", line.ueitype},
             {"ueicode", line.ueicode},
             {"recipe", tuner::describeRecipe(recipe)},
             {"buttons", buttons},
             {"last", nullptr}};
  Json channels = Json::array();
  for (const tuner::ChannelEntry& entry : tunerChannels(service, name)) {
    channels.push_back(Json{{"channel", tuner::channelText(entry.channel)},
                            {"box", tuner::channelText(entry.box)},
                            {"name", entry.name}});
  }
  tuner["channels"] = channels;
  LastResults::Result last;
  if (service.results.get(name, last)) {
    tuner["last"] = Json{{"result", last.code}, {"message", last.sentence}};
  }
  return tuner;
}

// The tuner a path names, decoded; false, with a 400 answered, for a name no tuner can have.
bool tunerOfPath(const httplib::Request& request, httplib::Response& response, std::string& tuner) {
  if (decodePathSegment(request.matches[1], tuner)) return true;
  answerJson(response, 400, Json{{"result", TUNER_INVALID_ARGUMENT}},
             "a tuner name in a path is percent-encoded UTF-8 without NUL bytes: nothing was "
             "sent");
  return false;
}

// The keys of a keys request's body: buttons by name, keys by number; false, with a 400
// answered, when they are none.
bool keyPresses(const Json& body, const std::string& tuner, httplib::Response& response,
                std::vector<TunerRequest::Press>& presses) {
  const auto keys = body.find("keys");
  const bool usable =
      keys != body.end() && keys->is_array() && !keys->empty() &&
      keys->size() <= static_cast<std::size_t>(tuner::kMaxPresses) &&
      std::all_of(keys->begin(), keys->end(), [](const Json& key) {
        return (key.is_string() && key.get<std::string>().find('\0') == std::string::npos) ||
               (key.is_number_integer() && key.get<long long>() >= tuner::protocol::kMinKey &&
                key.get<long long>() <= tuner::protocol::kMaxKey);
      });
  if (!usable) {
    answerJson(response, 400, Json{{"tuner", tuner}, {"result", TUNER_INVALID_ARGUMENT}},
               "\"keys\" must be a list of 1 to " + std::to_string(tuner::kMaxPresses) +
                   " buttons (names such as \"KEY_4\", or key numbers from " +
                   std::to_string(tuner::protocol::kMinKey) + " to " +
                   std::to_string(tuner::protocol::kMaxKey) + "): nothing was sent");
    return false;
  }
  for (const Json& key : *keys) {
    presses.push_back(key.is_string() ? TunerRequest::Press{key.get<std::string>(), 0}
                                      : TunerRequest::Press{
                                            std::string(), static_cast<int>(key.get<long long>())});
  }
  return true;
}

}  // namespace

void WebSite::listTuners(const httplib::Request&, httplib::Response& response) {
  std::vector<tuner::TunerLine> lines;
  std::string problem;
  if (!tunerLines(service_, lines, problem)) {
    answerJson(response, 500, Json{{"tuners", Json::array()}}, problem);
    return;
  }
  Json tuners = Json::array();
  for (const tuner::TunerLine& line : lines) tuners.push_back(describeTuner(service_, line));
  // The rules the page checks what is typed against, from the one place that states them.
  const Json rules{{"minKey", tuner::protocol::kMinKey},
                   {"maxKey", tuner::protocol::kMaxKey},
                   {"maxPresses", tuner::kMaxPresses},
                   {"maxUeiType", tuner::protocol::kMaxUeiType},
                   {"maxUeiCode", tuner::protocol::kMaxUeiCode},
                   {"maxMajorDigits", tuner::kMaxMajorDigits},
                   {"maxMinorDigits", tuner::kMaxChannelPartDigits}};
  answerJson(response, 200,
             Json{{"tuners", tuners}, {"file", service_.configPath}, {"rules", rules}},
             std::to_string(lines.size()) + " tuners in " + service_.configPath);
}

void WebSite::oneTuner(const httplib::Request& request, httplib::Response& response) {
  std::string remote;
  if (!tunerOfPath(request, response, remote)) return;
  std::vector<tuner::TunerLine> lines;
  std::string problem;
  tunerLines(service_, lines, problem);
  // As lircd matches remotes: the name spelt exactly so, else the first of any case.
  auto found = std::find_if(lines.begin(), lines.end(),
                            [&](const tuner::TunerLine& line) { return line.name == remote; });
  if (found == lines.end()) {
    found = std::find_if(lines.begin(), lines.end(), [&](const tuner::TunerLine& line) {
      return tuner::sameIgnoringCase(line.name, remote);
    });
  }
  if (found == lines.end()) {
    answerJson(response, 404, Json{{"tuner", remote}, {"result", TUNER_NO_TUNER_LINE}},
               tuner::resultSentence(
                   lookUpLine(tuner::DiagnosticLog{std::string()}, service_, remote).result));
    return;
  }
  answerJson(response, 200, describeTuner(service_, *found), "tuner " + found->name);
}

// A request that is ready runs now or, with "wait": false, in the background: answered 202
// once it is queued, its outcome then the tuner's last result.
void WebSite::runRequest(TunerRequest request, bool wait, httplib::Response& response) {
  if (!request.ready()) {
    answerOutcome(response, request.tuner(), request.run(service_, client()));
    return;
  }
  if (wait) {
    answerOutcome(response, request.tuner(), request.run(service_, client()));
    return;
  }
  const std::string tuner = request.tuner();
  if (!tunerNameOf(service_, tuner).known) {
    answerOutcome(response, tuner, request.run(service_, client()));
    return;
  }
  Service& service = service_;
  const bool queued = background_.post([&service, request](std::uint64_t connection) mutable {
    request.run(service, Client{connection, {}});
  });
  if (!queued) {
    answerJson(response, 503, Json{{"tuner", tuner}, {"result", TUNER_PORT_BUSY}},
               std::to_string(kMaxBackground) +
                   " requests wait to run in the background already: nothing was sent");
    return;
  }
  answerJson(response, 202, Json{{"tuner", tuner}, {"result", TUNER_DONE}},
             "queued for " + tuner + ": its last result will say how it went");
}

void WebSite::tune(const httplib::Request& request, httplib::Response& response) {
  Json body;
  std::string remote;
  std::string channel;
  bool wait = true;
  if (!tunerOfPath(request, response, remote) || !readJsonObject(request, response, body) ||
      !stringMember(body, "channel", response, channel) ||
      !booleanMember(body, "wait", true, response, wait)) {
    return;
  }
  runRequest(TunerRequest::channel(service_, remote, channel), wait, response);
}

void WebSite::keys(const httplib::Request& request, httplib::Response& response) {
  Json body;
  std::string remote;
  int count = 1;
  bool wait = true;
  std::vector<TunerRequest::Press> presses;
  if (!tunerOfPath(request, response, remote) || !readJsonObject(request, response, body) ||
      !wholeMember(body, "count", 1, tuner::kMaxPresses, 1, response, count) ||
      !booleanMember(body, "wait", true, response, wait) ||
      !keyPresses(body, remote, response, presses)) {
    return;
  }
  runRequest(TunerRequest::presses(service_, remote, presses, count), wait, response);
}

}  // namespace tunerd
