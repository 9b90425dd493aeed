// The tuners under /api/tuners: what each is, and its keys and channels.
#include <algorithm>

#include "background.h"
#include "button_names.h"
#include "http_framing.h"
#include "lirc_protocol.h"
#include "tuner/control_result.h"
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

// One tuner as the page shows it. Looked up without the trace: reading is no call.
Json describeTuner(const Service& service, const std::string& name) {
  const tuner::DiagnosticLog untraced{std::string()};
  const tuner::TunerSettings settings = lookUpLine(untraced, service, name).settings;
  const tuner::TuningRecipe recipe = tuner::ReadRecipe(untraced, service.recipePath, name.c_str());
  Json buttons = Json::array();
  for (const std::string& digit : digitButtons()) {
    buttons.push_back(Json{{"name", digit}, {"key", *buttonKey(digit)}});
  }
  for (const tuner::NamedButton& button : tuner::buttonsAsWritten(service.buttonsPath, name)) {
    buttons.push_back(Json{{"name", button.written}, {"key", button.key}});
  }
  Json tuner{{"name", name},
             {"port", settings.comPort},
             {"ueitype", settings.ueitype},
             {"ueicode", settings.ueicode},
             {"recipe", tuner::describeRecipe(recipe)},
             {"buttons", buttons},
             {"last", nullptr}};
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

// The keys of a keys request's body as SEND_ONCE's words; false, with a 400 answered, when
// they are none.
bool keyWords(const Json& body, const std::string& tuner, int count, httplib::Response& response,
              std::vector<std::string>& words) {
  const auto keys = body.find("keys");
  const bool usable =
      keys != body.end() && keys->is_array() && !keys->empty() &&
      keys->size() <= static_cast<std::size_t>(kMaxPresses) &&
      std::all_of(keys->begin(), keys->end(), [](const Json& key) {
        return (key.is_string() && key.get<std::string>().find('\0') == std::string::npos) ||
               (key.is_number_integer() && key.get<long long>() >= 1 &&
                key.get<long long>() <= 255);
      });
  if (!usable) {
    answerJson(response, 400, Json{{"tuner", tuner}, {"result", TUNER_INVALID_ARGUMENT}},
               "\"keys\" must be a list of 1 to " + std::to_string(kMaxPresses) +
                   " buttons (names such as \"KEY_4\", or key numbers from 1 to 255): "
                   "nothing was sent");
    return false;
  }
  words = {tuner};
  for (const Json& key : *keys) {
    words.push_back(key.is_string() ? key.get<std::string>()
                                    : "KEY_" + std::to_string(key.get<long long>()));
  }
  words.push_back(std::to_string(count));
  return true;
}

}  // namespace

void WebSite::listTuners(const httplib::Request&, httplib::Response& response) {
  std::vector<std::string> names;
  std::string problem;
  if (!tunerNames(service_, names, problem)) {
    answerJson(response, 500, Json{{"tuners", Json::array()}}, problem);
    return;
  }
  Json tuners = Json::array();
  for (const std::string& name : names) tuners.push_back(describeTuner(service_, name));
  answerJson(response, 200, Json{{"tuners", tuners}, {"file", service_.configPath}},
             std::to_string(names.size()) + " tuners in " + service_.configPath);
}

void WebSite::oneTuner(const httplib::Request& request, httplib::Response& response) {
  std::string remote;
  if (!tunerOfPath(request, response, remote)) return;
  const TunerName name = tunerNameOf(service_, remote);
  if (!name.known) {
    answerJson(response, 404, Json{{"tuner", remote}, {"result", TUNER_NO_TUNER_LINE}},
               tuner::resultSentence(
                   lookUpLine(tuner::DiagnosticLog{std::string()}, service_, remote).result));
    return;
  }
  answerJson(response, 200, describeTuner(service_, name.name), "tuner " + name.name);
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
  std::vector<std::string> words;
  if (!tunerOfPath(request, response, remote) || !readJsonObject(request, response, body) ||
      !wholeMember(body, "count", 1, kMaxPresses, 1, response, count) ||
      !booleanMember(body, "wait", true, response, wait) ||
      !keyWords(body, remote, count, response, words)) {
    return;
  }
  runRequest(TunerRequest::keys(service_, words), wait, response);
}

}  // namespace tunerd
