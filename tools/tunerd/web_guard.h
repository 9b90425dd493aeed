// What keeps other web sites out of tunerd's HTTP API. A page from another site that the user's
// browser opens may send requests to tunerd but must not press keys: a request that changes
// anything must come from tunerd's own page (its Origin, where a browser gives one, is tunerd's
// own) and carry JSON, which no plain form can send. And every request must name tunerd by a
// name it knows (an address, localhost, this machine's name or one given with --http-name), so
// that a foreign name re-pointed at tunerd (DNS rebinding) never makes a foreign page its own.
#pragma once

#include <string>
#include <vector>

namespace tunerd {

// Whether the Host header names tunerd: an IPv4 or bracketed IPv6 address, localhost, or one of
// names (case does not matter), with or without a port.
bool hostAllowed(const std::string& host, const std::vector<std::string>& names);

// Why a request that changes something is refused, or empty: an Origin other than
// http://HOST, a Sec-Fetch-Site of another site, or a body that is not application/json.
std::string stateChangeProblem(const std::string& host, const std::string& origin,
                               const std::string& fetchSite, const std::string& contentType,
                               bool hasBody);

}  // namespace tunerd
