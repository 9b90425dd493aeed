// One HTTP client of tunerd: requests read one at a time, each whole within kRequestTime and
// kMaxRequestBytes, answered with the send deadline of every client, the connection kept for
// kWebIdle between requests.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "service.h"
#include "web_site.h"

namespace tunerd {

constexpr auto kRequestTime = std::chrono::seconds(10);
constexpr auto kWebIdle = std::chrono::seconds(30);
constexpr std::size_t kMaxRequestBytes = 32 * 1024;
constexpr int kMaxRequestsPerConnection = 1000;

// Serves fd until the client closes, idles or is too slow, or tunerd stops. waiting(true) is
// called as it starts to wait for a request, waiting(false) as one begins.
void serveWeb(WebSite& site, int fd, const Client& client, const std::string& who,
              const std::atomic<bool>& stopping, const std::function<void(bool)>& waiting);

}  // namespace tunerd
