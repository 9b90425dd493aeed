// What keeps other web sites out of tunerd's HTTP API. A page from another site that the user's
// browser opens may send requests to tunerd but must not press keys: a request that changes
// anything must come from tunerd's own page (its Origin, where a browser gives one, is tunerd's
// own) and carry JSON, which no plain form can send. And every request must name tunerd by a
// name it knows (an address, localhost, this machine's name or one given with --http-name), so
// that a foreign name re-pointed at tunerd (DNS rebinding) never makes a foreign page its own.
// With a token, every API request must also carry it. All of it is judged on the request's head
// as it was sent, before its body is read; a refused request ends its connection.
#pragma once

#include <string>
#include <vector>

#include "http_framing.h"

namespace tunerd {

// Why a request is refused before anything is done for it: status 0 for none.
struct Refusal {
  int status = 0;
  std::string message;
};

class WebGuard {
 public:
  // names: what the Host header may name besides addresses and localhost; token: what API
  // requests must carry as "Authorization: Bearer TOKEN" (empty: nothing).
  WebGuard(std::vector<std::string> names, std::string token)
      : names_(std::move(names)), token_(std::move(token)) {}

  Refusal refusal(const RequestHead& head) const;
  bool needsToken() const { return !token_.empty(); }

 private:
  std::vector<std::string> names_;
  std::string token_;
};

// Whether the Host header names tunerd: an IPv4 or bracketed IPv6 address, localhost, or one of
// names (case does not matter), with or without a port.
bool hostAllowed(const std::string& host, const std::vector<std::string>& names);

// Why a request that changes something is refused, or empty: an Origin other than
// http://HOST, a Sec-Fetch-Site of another site, or a body that is not application/json.
std::string stateChangeProblem(const std::string& host, const std::string& origin,
                               const std::string& fetchSite, const std::string& contentType,
                               bool hasBody);

// Whether an Authorization header carries the token as a bearer token, compared in a time that
// does not depend on where they differ.
bool carriesToken(const std::string& authorization, const std::string& token);

}  // namespace tunerd
