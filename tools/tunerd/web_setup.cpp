// Setting a blaster up from the page: the check of the files, the ports where a blaster answers,
// and the code-set search.
#include <algorithm>
#include <sstream>

#include "blaster/blaster_protocol.h"
#include "blaster_pool.h"
#include "code_searches.h"
#include "config_check.h"
#include "host_files.h"
#include "tuner/tuner_config.h"
#include "web_json.h"
#include "web_site.h"

namespace tunerd {
namespace {

// Printed lines as a JSON list.
Json linesOf(const std::string& text) {
  Json lines = Json::array();
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void noSearch(httplib::Response& response) {
  answerJson(response, 404, Json::object(), "no such search");
}

// The port a search or a find names: one tuner.txt can hold, a terminal under /dev that no other
// program has open; false, with a 400 or 409 answered, for any other.
bool usablePort(const std::string& port, httplib::Response& response, std::string& device) {
  if (port.empty() || port.size() > tuner::kMaxPortNameLength) {
    answerJson(response, 400, Json::object(),
               "a port is named as tuner.txt names it, in 1 to " +
                   std::to_string(tuner::kMaxPortNameLength) +
                   " characters (ttyUSB0): nothing "
                   "was sent");
    return false;
  }
  device = serialDevice(port);
  if (device.empty()) {
    answerJson(response, 400, Json::object(),
               "no serial port " + port + " under /dev: nothing was sent");
    return false;
  }
  if (anotherProgramHas(device)) {
    answerJson(response, 409, Json::object(),
               "another program has " + port + " open: nothing was sent");
    return false;
  }
  return true;
}

}  // namespace

void WebSite::check(const httplib::Request&, httplib::Response& response) {
  std::ostringstream out;
  std::ostringstream problems;
  const int status = checkFiles(service_.configPath, false, out, problems);
  Json lines = linesOf(out.str());
  for (const Json& line : linesOf(problems.str())) lines.push_back(line);
  answerJson(response, 200, Json{{"usable", status == 0}, {"lines", lines}},
             status == 0 ? "every line can be used" : "some lines cannot be used");
}

void WebSite::find(const httplib::Request& request, httplib::Response& response) {
  Json body;
  if (!readJsonObject(request, response, body)) return;
  std::vector<std::string> ports;
  const auto given = body.find("ports");
  if (given != body.end()) {
    if (!given->is_array() || given->size() > 64 ||
        !std::all_of(given->begin(), given->end(), [](const Json& port) {
          return port.is_string() && !port.get<std::string>().empty() &&
                 port.get<std::string>().size() <= tuner::kMaxPortNameLength &&
                 port.get<std::string>().find('\0') == std::string::npos;
        })) {
      answerJson(response, 400, Json::object(),
                 "\"ports\" must be a list of port names as tuner.txt names them");
      return;
    }
    for (const Json& port : *given) ports.push_back(port.get<std::string>());
  }
  std::ostringstream out;
  std::ostringstream err;
  // Only ports that no other program has open are probed from the page.
  const bool found = findBlasters(ports, out, err, true) == 0;
  const Json problems = linesOf(err.str());
  answerJson(response, 200, Json{{"found", found}, {"lines", linesOf(out.str())}},
             found || problems.empty() ? "a blaster answered" : problems[0].get<std::string>());
}

void WebSite::startSearch(const httplib::Request& request, httplib::Response& response) {
  Json body;
  SearchRequest asked;
  std::string device;
  if (!readJsonObject(request, response, body) ||
      !stringMember(body, "port", response, asked.port) ||
      !wholeMember(body, "ueitype", 0, tuner::protocol::kMaxUeiType, -1, response, asked.ueitype) ||
      !wholeMember(body, "key", tuner::protocol::kMinKey, tuner::protocol::kMaxKey, 1, response,
                   asked.key) ||
      !wholeMember(body, "from", 0, tuner::protocol::kMaxUeiCode, 0, response, asked.from) ||
      !wholeMember(body, "to", 0, tuner::protocol::kMaxUeiCode, tuner::protocol::kMaxUeiCode,
                   response, asked.to)) {
    return;
  }
  if (asked.ueitype < 0 || asked.from > asked.to) {
    answerJson(response, 400, Json::object(),
               "a search needs a type (\"ueitype\") and from no higher than to");
    return;
  }
  if (!usablePort(asked.port, response, device)) return;
  std::string id;
  std::string why;
  switch (searches_.start(asked, device, id, why)) {
    case CodeSearches::Started::kStarted:
      break;
    case CodeSearches::Started::kBusy:
      answerJson(response, 409, Json::object(), why);
      return;
    case CodeSearches::Started::kNoThread:
      answerJson(response, 503, Json::object(), why);
      return;
  }
  Json state;
  searches_.state(id, state);
  const std::string message = state["message"];
  answerJson(response, 201, state, message);
}

void WebSite::searchState(const httplib::Request& request, httplib::Response& response) {
  Json state;
  if (!searches_.state(request.matches[1], state)) return noSearch(response);
  const std::string message = state["message"];
  answerJson(response, 200, state, message);
}

void WebSite::watchSearch(const httplib::Request& request, httplib::Response& response) {
  Json state;
  if (!searches_.watch(request.matches[1], state)) return noSearch(response);
  const std::string message = state["message"];
  answerJson(response, 200, state, message);
}

void WebSite::searchSays(const httplib::Request& request, httplib::Response& response,
                         const std::string& said) {
  const std::string id = request.matches[1];
  std::string why;
  const bool taken =
      said == "reacted" ? searches_.reacted(id, why) : searches_.answer(id, said == "yes", why);
  if (!taken) {
    answerJson(response, 409, Json::object(), why);
    return;
  }
  watchSearch(request, response);
}

void WebSite::searchReacted(const httplib::Request& request, httplib::Response& response) {
  searchSays(request, response, "reacted");
}
void WebSite::searchYes(const httplib::Request& request, httplib::Response& response) {
  searchSays(request, response, "yes");
}
void WebSite::searchNo(const httplib::Request& request, httplib::Response& response) {
  searchSays(request, response, "no");
}

void WebSite::stopSearch(const httplib::Request& request, httplib::Response& response) {
  if (!searches_.stop(request.matches[1])) return noSearch(response);
  answerJson(response, 200, Json::object(), "the search stops after the key in flight");
}

}  // namespace tunerd
