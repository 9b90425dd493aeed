#include "socket_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace tunerd {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point when) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, left));
}

bool sendWithin(int fd, const char* text, std::size_t size) {
  std::size_t sent = 0;
  auto deadline = Clock::now() + kSendDeadline;
  while (sent < size) {
    const ssize_t n = send(fd, text + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      deadline = Clock::now() + kSendDeadline;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    pollfd waiting{fd, POLLOUT, 0};
    const int ready = poll(&waiting, 1, msUntil(deadline));
    if (ready == 0 || (ready > 0 && (waiting.revents & (POLLERR | POLLHUP)) != 0)) return false;
  }
  return true;
}

bool hungUp(int fd) {
  pollfd waiting{fd, POLLRDHUP, 0};
  return poll(&waiting, 1, 0) > 0 && (waiting.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace tunerd
