// The tuners under /api/tuners: what each is, and its keys and channels.
#include <algorithm>

#include "button_names.h"
#include "lirc_protocol.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"
#include "tuner/tuner_lookup.h"
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
  for (const auto& [button, key] : remoteButtons(service, name)) {
    buttons.push_back(Json{{"name", button}, {"key", key}});
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

}  // namespace

void WebSite::routeTuners() {
  Get("/api/tuners", [this](const httplib::Request&, httplib::Response& response) {
    std::vector<std::string> names;
    std::string problem;
    if (!tunerNames(service_, names, problem)) {
      answerJson(response, 500, Json{{"tuners", Json::array()}}, problem);
      return;
    }
    Json tuners = Json::array();
    for (const std::string& name : names) tuners.push_back(describeTuner(service_, name));
    answerJson(response, 200, Json{{"tuners", tuners}},
               std::to_string(names.size()) + " tuners in " + service_.configPath);
  });
  Post("/api/tuners/([^/]+)/tune",
       [this](const httplib::Request& request, httplib::Response& response) {
         Json body;
         std::string channel;
         if (!readJsonObject(request, response, body) ||
             !stringMember(body, "channel", response, channel)) {
           return;
         }
         const std::string remote = request.matches[1];
         answerOutcome(response, remote, tuneChannel(service_, remote, channel, client()));
       });
  Post("/api/tuners/([^/]+)/keys",
       [this](const httplib::Request& request, httplib::Response& response) {
         Json body;
         int count = 1;
         if (!readJsonObject(request, response, body) ||
             !wholeMember(body, "count", 1, kMaxPresses, 1, response, count)) {
           return;
         }
         const std::string remote = request.matches[1];
         const auto keys = body.find("keys");
         const bool usable =
             keys != body.end() && keys->is_array() && !keys->empty() &&
             keys->size() <= static_cast<std::size_t>(kMaxPresses) &&
             std::all_of(keys->begin(), keys->end(), [](const Json& key) {
               return key.is_string() || (key.is_number_integer() && key.get<long long>() >= 1 &&
                                          key.get<long long>() <= 255);
             });
         if (!usable) {
           answerJson(response, 400, Json{{"tuner", remote}, {"result", TUNER_INVALID_ARGUMENT}},
                      "\"keys\" must be a list of 1 to " + std::to_string(kMaxPresses) +
                          " buttons (names such as \"KEY_4\", or key numbers from 1 to 255): "
                          "nothing was sent");
           return;
         }
         std::vector<std::string> words{remote};
         for (const Json& key : *keys) {
           words.push_back(key.is_string() ? key.get<std::string>()
                                           : "KEY_" + std::to_string(key.get<long long>()));
         }
         words.push_back(std::to_string(count));
         answerOutcome(response, remote, sendButtons(service_, words, client()));
       });
}

}  // namespace tunerd
