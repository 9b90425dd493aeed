#include "refusals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "lirc_protocol.h"

namespace tunerd {

Refusals::~Refusals() {
  for (const Refusal& refusal : refusing_) close(refusal.fd);
}

void Refusals::add(int fd, const std::string& user, const std::string& reason, bool web) {
  const auto sameUser = [&](const Refusal& r) { return r.user == user; };
  const auto oldest = static_cast<std::size_t>(std::count_if(refusing_.begin(), refusing_.end(),
                                                             sameUser)) >= kMaxRefusingPerUser
                          ? std::find_if(refusing_.begin(), refusing_.end(), sameUser)
                      : refusing_.size() >= kMaxRefusing ? refusing_.begin()
                                                         : refusing_.end();
  if (oldest != refusing_.end()) {
    close(oldest->fd);
    refusing_.erase(oldest);
  }
  refusing_.push_back(Refusal{fd, user, reason, web, std::string(),
                              std::chrono::steady_clock::now() + kRefusalWait});
}

int Refusals::watch(std::vector<pollfd>& waiting) const {
  long long first = -1;
  const auto now = std::chrono::steady_clock::now();
  for (const Refusal& refusal : refusing_) {
    waiting.push_back(pollfd{refusal.fd, POLLIN, 0});
    const long long left = std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(refusal.until - now).count());
    if (first < 0 || left < first) first = left;
  }
  return static_cast<int>(first);
}

void Refusals::serve(const std::vector<pollfd>& polled) {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = refusing_.begin(); it != refusing_.end();) {
    const auto ready =
        std::find_if(polled.begin(), polled.end(), [&](const pollfd& p) { return p.fd == it->fd; });
    bool finished = now >= it->until;
    if (ready != polled.end() && ready->revents != 0) {
      char bytes[512];
      const ssize_t n = recv(it->fd, bytes, sizeof bytes, 0);
      if (n > 0) it->received.append(bytes, static_cast<std::size_t>(n));
      const std::size_t end = it->received.find('\n');
      if (end != std::string::npos || it->received.size() >= kMaxRequestLength) {
        const std::string line = it->received.substr(0, std::min(end, std::size_t{120}));
        const std::string why = "tunerd refused this connection: " + it->reason;
        // The reasons hold no quotes or backslashes: the JSON needs no escapes.
        const std::string body = "{\"message\": \"" + why + "\"}";
        const std::string answer =
            it->web ? "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                      "Connection: close\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body
                    : reply(line, false, {why});
        send(it->fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        finished = true;
      } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        finished = true;
      }
    }
    if (finished) {
      shutdown(it->fd, SHUT_WR);
      close(it->fd);
      it = refusing_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace tunerd
