// One HTTP client of tunerd: each request framed by tunerd (http_framing.h), judged by the guard
// on its head, read whole within kRequestTime (a head of kMaxHeadBytes, a body of
// kMaxBodyLength at most), then answered by the site with the send deadline of every client; the
// connection kept for kWebIdle between requests. A request that is refused, cannot be framed or
// fails ends its connection: nothing sent after it is ever read as a request.
#pragma once

#include "service_limits.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "service.h"
#include "web_site.h"

namespace tunerd {

// Serves fd until the client closes, idles or is too slow, or tunerd stops. whole(false) is
// called as it starts to wait for a request, whole(true) once one has arrived whole: until then
// the connection may be closed to make room for another.
void serveWeb(WebSite& site, int fd, const Client& client, const std::string& who,
              const std::atomic<bool>& stopping, const std::function<void(bool)>& whole);

}  // namespace tunerd
