// tunerd's web page and JSON API: the page at /, the tuners, their keys and channels, the check
// of the files, the blasters found and the code-set search under /api, every route in one table
// (web_routes.cpp) that /api/openapi.json describes. Every answer of the API is a JSON object
// with a message; every request takes its turn at the blasters as irsend's do.
#pragma once

#include "service_limits.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "http_framing.h"
#include "service.h"
#include "service_log.h"
#include "web_guard.h"

namespace tunerd {

class CodeSearches;
class Background;
class TunerRequest;

class WebSite : private httplib::Server {
 public:
  // names: what the Host header may name besides addresses, localhost and this machine's name;
  // token: what every API request must carry (empty: nothing). Requests that do not wait for
  // their keys run in background.
  WebSite(Service& service, CodeSearches& searches, Background& background,
          std::vector<std::string> names, std::string token);

  const WebGuard& guard() const { return guard_; }

  // Answers a request that is refused or cannot be read, and logs it (at a bounded rate); the
  // connection is then closed.
  void refuse(int fd, const std::string& who, const RequestHead& head,
              const FramingProblem& problem);

  // Reads one whole, framed request from stream and answers it for client, who (as the log
  // names it); the status answered, 0 when there was none. closed is set when the client
  // asked to close.
  int serveOne(httplib::Stream& stream, const Client& client, const std::string& who,
               bool closeAfter, bool& closed);

  // The routes: method, path pattern (on the path as sent, names still percent-encoded), the
  // handler.
  using Handle = void (WebSite::*)(const httplib::Request&, httplib::Response&);
  struct Route {
    const char* method;
    const char* pattern;
    Handle handle;
  };

 private:
  void page(const httplib::Request&, httplib::Response&);
  void openApi(const httplib::Request&, httplib::Response&);
  void listTuners(const httplib::Request&, httplib::Response&);
  void oneTuner(const httplib::Request&, httplib::Response&);
  void tune(const httplib::Request&, httplib::Response&);
  void keys(const httplib::Request&, httplib::Response&);
  void check(const httplib::Request&, httplib::Response&);
  void find(const httplib::Request&, httplib::Response&);
  void startSearch(const httplib::Request&, httplib::Response&);
  void searchState(const httplib::Request&, httplib::Response&);
  void watchSearch(const httplib::Request&, httplib::Response&);
  void searchReacted(const httplib::Request&, httplib::Response&);
  void searchYes(const httplib::Request&, httplib::Response&);
  void searchNo(const httplib::Request&, httplib::Response&);
  void stopSearch(const httplib::Request&, httplib::Response&);
  void searchSays(const httplib::Request& request, httplib::Response& response,
                  const std::string& said);
  void runRequest(TunerRequest request, bool wait, httplib::Response& response);

  static const std::vector<Route>& routes();
  // The methods of the routes whose pattern matches path, for a 405's Allow.
  static std::string allowedMethods(const std::string& path);

  // The client whose request this thread answers.
  static const Client& client();

  Service& service_;
  CodeSearches& searches_;
  Background& background_;
  WebGuard guard_;
  ThrottledLog refusalLog_;
};

}  // namespace tunerd
