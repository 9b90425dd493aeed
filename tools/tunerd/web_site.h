// tunerd's web page and JSON API: the page at /, the tuners, their keys and channels, the check
// of the files, the blasters found and the code-set search under /api. Every answer of the API is
// a JSON object with a message; every request takes its turn at the blasters as irsend's do.
#pragma once

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "service.h"

namespace tunerd {

class CodeSearches;

// Longest body taken; a longer one is answered 413.
constexpr std::size_t kMaxBodyLength = 16 * 1024;

class WebSite : private httplib::Server {
 public:
  // names: what the Host header may name besides addresses, localhost and this machine's name.
  WebSite(Service& service, CodeSearches& searches, std::vector<std::string> names);

  // Reads one request from stream and answers it for client, who (as the log names it);
  // false when the connection is to be closed (the request could not be read whole); closed
  // is set when the client asked to close.
  bool serveOne(httplib::Stream& stream, const Client& client, const std::string& who,
                bool closeAfter, bool& closed);

 private:
  void guard();
  void routeTuners();
  void routeSetup();

  // The client whose request this thread answers.
  static const Client& client();

  Service& service_;
  CodeSearches& searches_;
  std::vector<std::string> names_;
};

}  // namespace tunerd
