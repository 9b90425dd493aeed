#include "web_guard.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "common/ascii_case.h"
#include "common/printable_text.h"

namespace tunerd {
namespace {

// The host without its port; empty for something that is no host.
std::string hostPart(const std::string& host) {
  if (!host.empty() && host[0] == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos) return std::string();
    const std::string rest = host.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || rest.size() == 1)) return std::string();
    return host.substr(0, close + 1);
  }
  const std::size_t colon = host.find(':');
  if (colon == std::string::npos) return host;
  const std::string port = host.substr(colon + 1);
  if (port.empty() || port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::string();
  }
  return host.substr(0, colon);
}

bool isAddress(const std::string& name) {
  unsigned char bytes[16];
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
    return inet_pton(AF_INET6, name.substr(1, name.size() - 2).c_str(), bytes) == 1;
  }
  return inet_pton(AF_INET, name.c_str(), bytes) == 1;
}

}  // namespace

bool hostAllowed(const std::string& host, const std::vector<std::string>& names) {
  const std::string name = tuner::lowerCase(hostPart(host));
  if (name.empty()) return false;
  if (name == "localhost" || isAddress(name)) return true;
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& known) { return tuner::lowerCase(known) == name; });
}

std::string stateChangeProblem(const std::string& host, const std::string& origin,
                               const std::string& fetchSite, const std::string& contentType,
                               bool hasBody) {
  if (!origin.empty() && tuner::lowerCase(origin) != "http://" + tuner::lowerCase(host)) {
    return "a request from another site's page (Origin " + origin.substr(0, 80) +
           ") may not press keys";
  }
  if (tuner::lowerCase(fetchSite) == "cross-site" || tuner::lowerCase(fetchSite) == "same-site") {
    return "a request from another site's page may not press keys";
  }
  const std::string type = tuner::lowerCase(contentType.substr(0, contentType.find(';')));
  if (hasBody && type != "application/json") {
    return "the body must be application/json";
  }
  return std::string();
}

bool carriesToken(const std::string& authorization, const std::string& token) {
  const std::string scheme = "bearer ";
  if (token.empty() || authorization.size() < scheme.size() ||
      tuner::lowerCase(authorization.substr(0, scheme.size())) != scheme) {
    return false;
  }
  const std::string given = authorization.substr(scheme.size());
  // Every byte of the token is compared, whatever the length given.
  unsigned char differs = given.size() == token.size() ? 0 : 1;
  for (std::size_t i = 0; i < token.size(); ++i) {
    differs |= static_cast<unsigned char>(token[i] ^ (i < given.size() ? given[i] : ~token[i]));
  }
  return differs == 0;
}

Refusal WebGuard::refusal(const RequestHead& head) const {
  const std::string host = head.value("Host");
  if (!hostAllowed(host, names_)) {
    return Refusal{403, "tunerd does not answer to the name \"" +
                            tuner::printable(host.substr(0, 80)) +
                            "\": use its address, or give the name with --http-name"};
  }
  const bool api = head.path().rfind("/api/", 0) == 0;
  if (api && !token_.empty() && !carriesToken(head.value("Authorization"), token_)) {
    return Refusal{401,
                   "this tunerd needs its token: send \"Authorization: Bearer TOKEN\" "
                   "with the token of its --http-token-file"};
  }
  if (head.method == "GET" || head.method == "HEAD") return Refusal{};
  const bool hasBody = head.method == "POST" || head.contentLength > 0 || head.chunked;
  const std::string problem =
      stateChangeProblem(host, head.value("Origin"), head.value("Sec-Fetch-Site"),
                         head.value("Content-Type"), hasBody);
  if (problem.empty()) return Refusal{};
  return Refusal{403, problem + ": nothing was sent"};
}

}  // namespace tunerd
