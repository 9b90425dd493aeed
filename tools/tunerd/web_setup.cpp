// Setting a blaster up from the page: the check of the files, the ports where a blaster answers,
// and the code-set search.
#include <sstream>

#include "blaster/blaster_protocol.h"
#include "code_searches.h"
#include "config_check.h"
#include "web_json.h"
#include "web_site.h"

namespace tunerd {
namespace {

// Printed lines as a JSON list, without tunerctl's own prefix.
Json linesOf(const std::string& text) {
  Json lines = Json::array();
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    for (const char* prefix : {"tunerctl: check: ", "tunerctl: find: "}) {
      if (line.rfind(prefix, 0) == 0) line.erase(0, std::string(prefix).size());
    }
    lines.push_back(line);
  }
  return lines;
}

// The search's state as the answer, or a 404 for an id that is no search.
void answerSearch(CodeSearches& searches, int id, int status, httplib::Response& response) {
  Json state;
  if (!searches.state(id, state)) {
    answerJson(response, 404, Json::object(), "no such search");
    return;
  }
  const std::string message = state["message"];
  answerJson(response, status, state, message);
}

int searchId(const httplib::Request& request) {
  const std::string id = request.matches[1];
  return id.size() > 9 ? 0 : std::stoi(id);
}

}  // namespace

void WebSite::routeSetup() {
  Get("/api/check", [this](const httplib::Request&, httplib::Response& response) {
    std::ostringstream out;
    std::ostringstream problems;
    const int status = checkFiles(service_.configPath, false, out, problems);
    Json lines = linesOf(out.str());
    for (const Json& line : linesOf(problems.str())) lines.push_back(line);
    answerJson(response, 200, Json{{"usable", status == 0}, {"lines", lines}},
               status == 0 ? "every line can be used" : "some lines cannot be used");
  });
  Post("/api/find", [](const httplib::Request& request, httplib::Response& response) {
    Json body;
    if (!readJsonObject(request, response, body)) return;
    std::vector<std::string> ports;
    const auto given = body.find("ports");
    if (given != body.end()) {
      if (!given->is_array() || given->size() > 64 ||
          !std::all_of(given->begin(), given->end(), [](const Json& p) { return p.is_string(); })) {
        answerJson(response, 400, Json::object(), "\"ports\" must be a list of port names");
        return;
      }
      for (const Json& port : *given) ports.push_back(port.get<std::string>());
    }
    std::ostringstream out;
    std::ostringstream err;
    const bool found = findBlasters(ports, out, err) == 0;
    const Json problems = linesOf(err.str());
    answerJson(response, 200, Json{{"found", found}, {"lines", linesOf(out.str())}},
               found || problems.empty() ? "a blaster answered" : problems[0].get<std::string>());
  });
  Post("/api/searches", [this](const httplib::Request& request, httplib::Response& response) {
    Json body;
    SearchRequest asked;
    if (!readJsonObject(request, response, body) ||
        !stringMember(body, "port", response, asked.port) ||
        !wholeMember(body, "ueitype", 0, tuner::protocol::kMaxUeiType, -1, response,
                     asked.ueitype) ||
        !wholeMember(body, "key", 1, 255, 1, response, asked.key) ||
        !wholeMember(body, "from", 0, tuner::protocol::kMaxUeiCode, 0, response, asked.from) ||
        !wholeMember(body, "to", 0, tuner::protocol::kMaxUeiCode, tuner::protocol::kMaxUeiCode,
                     response, asked.to)) {
      return;
    }
    if (asked.ueitype < 0 || asked.port.empty() || asked.from > asked.to) {
      answerJson(response, 400, Json::object(),
                 "a search needs a port, a type (\"ueitype\") and from no higher than to");
      return;
    }
    std::string why;
    const int id = searches_.start(asked, why);
    if (id == 0) {
      answerJson(response, 409, Json::object(), why);
      return;
    }
    answerSearch(searches_, id, 201, response);
  });
  Get("/api/searches/([0-9]+)",
      [this](const httplib::Request& request, httplib::Response& response) {
        Json state;
        if (!searches_.state(searchId(request), state)) {
          answerJson(response, 404, Json::object(), "no such search");
          return;
        }
        const std::string message = state["message"];
        answerJson(response, 200, state, message);
      });
  Post("/api/searches/([0-9]+)/(reacted|yes|no)",
       [this](const httplib::Request& request, httplib::Response& response) {
         const int id = searchId(request);
         const std::string said = request.matches[2];
         std::string why;
         const bool taken = said == "reacted" ? searches_.reacted(id, why)
                                              : searches_.answer(id, said == "yes", why);
         if (!taken) {
           answerJson(response, 409, Json::object(), why);
           return;
         }
         answerSearch(searches_, id, 200, response);
       });
  Delete("/api/searches/([0-9]+)",
         [this](const httplib::Request& request, httplib::Response& response) {
           if (!searches_.stop(searchId(request))) {
             answerJson(response, 404, Json::object(), "no such search");
             return;
           }
           answerJson(response, 200, Json::object(), "the search stops after the key in flight");
         });
}

}  // namespace tunerd
