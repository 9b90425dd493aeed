#include "web_site.h"

#include <unistd.h>

#include <chrono>

#include "common/printable_text.h"
#include "service_log.h"
#include "web_guard.h"
#include "web_json.h"
#include "web_page.h"

namespace tunerd {
namespace {

// The request this thread answers, for the handlers and the log line.
struct Asking {
  const Client* client = nullptr;
  const std::string* who = nullptr;
  std::chrono::steady_clock::time_point started;
  bool read = false;  // the request line and headers were read
  int status = 0;
};
thread_local Asking asking;

const char kPageSecurity[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

}  // namespace

const Client& WebSite::client() { return *asking.client; }

WebSite::WebSite(Service& service, CodeSearches& searches, std::vector<std::string> names)
    : service_(service), searches_(searches), names_(std::move(names)) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
    names_.emplace_back(host);
    names_.push_back(std::string(host) + ".local");
  }
  set_payload_max_length(kMaxBodyLength);
  guard();
  Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Content-Security-Policy", kPageSecurity);
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Cache-Control", "no-store");
    response.set_content(kWebPage, "text/html; charset=utf-8");
  });
  routeTuners();
  routeSetup();
  set_error_handler(HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return HandlerResponse::Unhandled;
    const std::string why = response.status == 404   ? "no such resource"
                            : response.status == 413 ? "the body is longer than " +
                                                           std::to_string(kMaxBodyLength) + " bytes"
                            : response.status == 414 ? "the request line is too long"
                                                     : "a request tunerd cannot read";
    answerJson(response, response.status, Json::object(), why);
    return HandlerResponse::Handled;
  }));
  set_logger([](const httplib::Request& request, const httplib::Response& response) {
    asking.status = response.status;
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - asking.started)
                                          .count());
    std::string path = request.path.substr(0, 120);
    logLine(*asking.who + ": " + request.method.substr(0, 16) + " " + path + ": " +
            std::to_string(response.status) + " in " + std::to_string(ms) + " ms");
  });
}

void WebSite::guard() {
  set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    asking.read = true;
    const std::string host = request.get_header_value("Host");
    if (!hostAllowed(host, names_)) {
      answerJson(response, 403, Json::object(),
                 "tunerd does not answer to the name \"" + tuner::printable(host.substr(0, 80)) +
                     "\": use its address, or give the name with --http-name");
      return HandlerResponse::Handled;
    }
    if (request.method == "GET" || request.method == "HEAD") return HandlerResponse::Unhandled;
    const std::string problem = stateChangeProblem(
        host, request.get_header_value("Origin"), request.get_header_value("Sec-Fetch-Site"),
        request.get_header_value("Content-Type"), request.method == "POST");
    if (problem.empty()) return HandlerResponse::Unhandled;
    answerJson(response, 403, Json::object(), problem + ": nothing was sent");
    return HandlerResponse::Handled;
  });
}

bool WebSite::serveOne(httplib::Stream& stream, const Client& client, const std::string& who,
                       bool closeAfter, bool& closed) {
  asking = Asking{&client, &who, std::chrono::steady_clock::now()};
  const bool served = process_request(stream, closeAfter, closed, nullptr);
  // After a request that could not be read whole, what follows it is no request.
  const bool readWhole = asking.read && asking.status != 413;
  asking = Asking{};
  return served && readWhole;
}

}  // namespace tunerd
