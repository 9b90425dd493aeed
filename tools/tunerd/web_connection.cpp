#include "web_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "service_log.h"
#include "socket_io.h"

namespace tunerd {
namespace {

using Clock = std::chrono::steady_clock;

// The socket as the HTTP library reads and writes it: reads end at the request's deadline or
// past its size, writes have the send deadline.
class DeadlineStream final : public httplib::Stream {
 public:
  explicit DeadlineStream(int fd) : fd_(fd) {}

  void startRequest() {
    deadline_ = Clock::now() + kRequestTime;
    taken_ = 0;
    late_ = false;
  }
  // Whether the request was cut off: not whole in time, or too long.
  bool late() const { return late_; }
  // Whether a request has begun to arrive before when; false once the client has gone.
  bool waitForRequest(Clock::time_point when) {
    if (start_ < end_) return true;
    pollfd waiting{fd_, POLLIN, 0};
    return poll(&waiting, 1, msUntil(when)) > 0 && fill() > 0;
  }

  bool is_readable() const override {
    pollfd waiting{fd_, POLLIN, 0};
    return start_ < end_ || poll(&waiting, 1, msUntil(deadline_)) > 0;
  }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    if (taken_ >= kMaxRequestBytes) return cutOff();
    while (start_ == end_) {
      const ssize_t n = fill();
      if (n == 0) return 0;
      if (n > 0) break;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
      pollfd waiting{fd_, POLLIN, 0};
      if (poll(&waiting, 1, msUntil(deadline_)) <= 0) return cutOff();
    }
    const std::size_t n = std::min({size, end_ - start_, kMaxRequestBytes - taken_});
    std::memcpy(ptr, buffer_ + start_, n);
    start_ += n;
    taken_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    return sendWithin(fd_, ptr, size) ? static_cast<ssize_t>(size) : -1;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    addressOf(getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    addressOf(getsockname, ip, port);
  }
  socket_t socket() const override { return fd_; }

 private:
  ssize_t cutOff() {
    late_ = true;
    return -1;
  }
  ssize_t fill() {
    start_ = end_ = 0;
    const ssize_t n = recv(fd_, buffer_, sizeof buffer_, 0);
    if (n > 0) end_ = static_cast<std::size_t>(n);
    return n;
  }
  void addressOf(int (*name)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    char text[INET_ADDRSTRLEN] = {};
    if (name(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) != nullptr) {
      ip = text;
      port = ntohs(address.sin_port);
    }
  }

  int fd_;
  char buffer_[4096] = {};
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  std::size_t taken_ = 0;
  bool late_ = false;
  Clock::time_point deadline_;
};

}  // namespace

void serveWeb(WebSite& site, int fd, const Client& client, const std::string& who,
              const std::atomic<bool>& stopping, const std::function<void(bool)>& waiting) {
  DeadlineStream stream(fd);
  for (int count = 0; !stopping && count < kMaxRequestsPerConnection; ++count) {
    waiting(true);
    const bool arrived = stream.waitForRequest(Clock::now() + kWebIdle);
    waiting(false);
    if (!arrived || stopping) return;
    stream.startRequest();
    bool closed = false;
    const bool last = count + 1 == kMaxRequestsPerConnection;
    const bool served = site.serveOne(stream, client, who, last, closed);
    if (stream.late()) {
      logLine(who + ": closed, a request not whole within " + std::to_string(kRequestTime.count()) +
              " s and " + std::to_string(kMaxRequestBytes) + " bytes");
      return;
    }
    if (!served || closed) return;
  }
}

}  // namespace tunerd
