#include "web_site.h"

#include <unistd.h>

#include <chrono>
#include <regex>

#include "socket_io.h"
#include "web_json.h"
#include "web_page.h"

namespace tunerd {
namespace {

// The request this thread answers, for the handlers and the log line.
struct Asking {
  const Client* client = nullptr;
  const std::string* who = nullptr;
  std::chrono::steady_clock::time_point started;
  int status = 0;
};
thread_local Asking asking;

const char kPageSecurity[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

const char* reasonOf(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 431:
      return "Request Header Fields Too Large";
    default:
      return "Error";
  }
}

// This machine's own names, besides those given.
std::vector<std::string> withOwnNames(std::vector<std::string> names) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
    names.emplace_back(host);
    names.push_back(std::string(host) + ".local");
  }
  return names;
}

}  // namespace

const std::vector<WebSite::Route>& WebSite::routes() {
  static const std::vector<Route> kRoutes = {
      {"GET", "/", &WebSite::page},
      {"GET", "/api/openapi.json", &WebSite::openApi},
      {"GET", "/api/tuners", &WebSite::listTuners},
      {"GET", "/api/tuners/([^/]+)", &WebSite::oneTuner},
      {"POST", "/api/tuners/([^/]+)/tune", &WebSite::tune},
      {"POST", "/api/tuners/([^/]+)/keys", &WebSite::keys},
      {"GET", "/api/check", &WebSite::check},
      {"POST", "/api/find", &WebSite::find},
      {"POST", "/api/searches", &WebSite::startSearch},
      {"GET", "/api/searches/([0-9a-f]{32})", &WebSite::searchState},
      {"DELETE", "/api/searches/([0-9a-f]{32})", &WebSite::stopSearch},
      {"POST", "/api/searches/([0-9a-f]{32})/watch", &WebSite::watchSearch},
      {"POST", "/api/searches/([0-9a-f]{32})/reacted", &WebSite::searchReacted},
      {"POST", "/api/searches/([0-9a-f]{32})/yes", &WebSite::searchYes},
      {"POST", "/api/searches/([0-9a-f]{32})/no", &WebSite::searchNo},
  };
  return kRoutes;
}

std::string WebSite::allowedMethods(const std::string& path) {
  std::string allowed;
  for (const Route& route : routes()) {
    if (!std::regex_match(path, std::regex(route.pattern))) continue;
    const std::string method = std::string(route.method) == "GET" ? "GET, HEAD" : route.method;
    allowed += (allowed.empty() ? "" : ", ") + method;
  }
  return allowed;
}

const Client& WebSite::client() { return *asking.client; }

WebSite::WebSite(Service& service, CodeSearches& searches, Background& background,
                 std::vector<std::string> names, std::string token)
    : service_(service),
      searches_(searches),
      background_(background),
      guard_(withOwnNames(std::move(names)), std::move(token)) {
  set_payload_max_length(kMaxBodyLength);
  for (const Route& route : routes()) {
    const Handle handle = route.handle;
    const auto handler = [this, handle](const httplib::Request& request,
                                        httplib::Response& response) {
      (this->*handle)(request, response);
    };
    const std::string method = route.method;
    if (method == "GET") Get(route.pattern, handler);
    if (method == "POST") Post(route.pattern, handler);
    if (method == "DELETE") Delete(route.pattern, handler);
  }
  set_error_handler(
      HandlerWithResponse([](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty()) return HandlerResponse::Unhandled;
        const std::string allowed = allowedMethods(request.path);
        if (!allowed.empty() && (response.status == 404 || response.status == 400)) {
          response.set_header("Allow", allowed);
          answerJson(response, 405, Json::object(),
                     request.path.substr(0, 120) + " takes " + allowed + " only");
          return HandlerResponse::Handled;
        }
        const std::string why =
            response.status == 404 ? "no such resource"
            : response.status == 413
                ? "the body is longer than " + std::to_string(kMaxBodyLength) + " bytes"
                : "a request tunerd cannot read";
        answerJson(response, response.status, Json::object(), why);
        return HandlerResponse::Handled;
      }));
  set_logger([](const httplib::Request& request, const httplib::Response& response) {
    asking.status = response.status;
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - asking.started)
                                          .count());
    logLine(*asking.who + ": " + request.method.substr(0, 16) + " " + request.path.substr(0, 120) +
            ": " + std::to_string(response.status) + " in " + std::to_string(ms) + " ms");
  });
}

void WebSite::refuse(int fd, const std::string& who, const RequestHead& head,
                     const FramingProblem& problem) {
  const std::string body =
      Json{{"message", problem.message}}.dump(-1, ' ', false, Json::error_handler_t::replace);
  std::string answer = "HTTP/1.1 " + std::to_string(problem.status) + " " +
                       reasonOf(problem.status) +
                       "\r\nContent-Type: application/json\r\nConnection: close\r\n";
  if (problem.status == 401) answer += "WWW-Authenticate: Bearer realm=\"tunerd\"\r\n";
  answer += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  sendWithin(fd, answer);
  const std::string asked =
      head.method.empty() ? "a request" : head.method + " " + head.path().substr(0, 120);
  refusalLog_.log(who + ": " + asked + ": " + std::to_string(problem.status) + " (" +
                  problem.message + "), connection closed");
}

int WebSite::serveOne(httplib::Stream& stream, const Client& client, const std::string& who,
                      bool closeAfter, bool& closed) {
  asking = Asking{&client, &who, std::chrono::steady_clock::now()};
  process_request(stream, closeAfter, closed, nullptr);
  const int status = asking.status;
  asking = Asking{};
  return status;
}

void WebSite::page(const httplib::Request&, httplib::Response& response) {
  response.set_header("Content-Security-Policy", kPageSecurity);
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Cache-Control", "no-store");
  response.set_content(kWebPage, "text/html; charset=utf-8");
}

void WebSite::openApi(const httplib::Request&, httplib::Response& response) {
  response.set_header("Cache-Control", "no-store");
  response.set_content(kOpenApi, "application/json");
}

}  // namespace tunerd
