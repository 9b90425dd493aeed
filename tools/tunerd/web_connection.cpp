#include "web_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http_framing.h"
#include "service_log.h"
#include "socket_io.h"
#include "web_guard.h"

namespace tunerd {
namespace {

using Clock = std::chrono::steady_clock;

// The socket's bytes, kept across requests: a client may send its next request before the
// answer to this one.
class Received {
 public:
  explicit Received(int fd) : fd_(fd) {}

  // Whether bytes are there or arrive before when; false once the client has gone.
  bool arrive(Clock::time_point when) {
    if (!bytes_.empty()) return true;
    return more(when) > 0;
  }
  // More bytes before when: their count, 0 for a client that has gone, -1 for none in time.
  ssize_t more(Clock::time_point when) {
    for (;;) {
      char buffer[4096];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        bytes_.append(buffer, static_cast<std::size_t>(n));
        return n;
      }
      if (n == 0) return 0;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return 0;
      pollfd waiting{fd_, POLLIN, 0};
      const int ready = poll(&waiting, 1, msUntil(when));
      if (ready == 0) return -1;
      if (ready < 0 && errno != EINTR) return 0;
    }
  }
  std::string& bytes() { return bytes_; }

 private:
  int fd_;
  std::string bytes_;
};

enum class Arrived { kWhole, kGone, kLate, kUnframed };

// One request's head and body, each within its bound, before the deadline.
Arrived readRequest(Received& received, Clock::time_point deadline, const WebGuard& guard,
                    RequestHead& head, std::string& body, FramingProblem& problem, int fd) {
  std::size_t end = 0;
  while ((end = headEnd(received.bytes())) == 0) {
    if (received.bytes().size() > kMaxHeadBytes) {
      problem = FramingProblem{
          431, "the request's head is longer than " + std::to_string(kMaxHeadBytes) + " bytes"};
      return Arrived::kUnframed;
    }
    const ssize_t n = received.more(deadline);
    if (n <= 0) return n == 0 ? Arrived::kGone : Arrived::kLate;
  }
  if (end > kMaxHeadBytes) {
    problem = FramingProblem{
        431, "the request's head is longer than " + std::to_string(kMaxHeadBytes) + " bytes"};
    return Arrived::kUnframed;
  }
  const bool framed =
      parseRequestHead(received.bytes().substr(0, end), kMaxBodyLength, head, problem);
  received.bytes().erase(0, end);
  if (!framed) return Arrived::kUnframed;
  // Judged before the body is read: a refused request ends here.
  const Refusal refused = guard.refusal(head);
  if (refused.status != 0) {
    problem = FramingProblem{refused.status, refused.message};
    return Arrived::kUnframed;
  }
  if (head.expectsContinue && !sendWithin(fd, std::string("HTTP/1.1 100 Continue\r\n\r\n"))) {
    return Arrived::kGone;
  }
  if (!head.chunked) {
    while (received.bytes().size() < head.contentLength) {
      const ssize_t n = received.more(deadline);
      if (n <= 0) return n == 0 ? Arrived::kGone : Arrived::kLate;
    }
    body = received.bytes().substr(0, head.contentLength);
    received.bytes().erase(0, head.contentLength);
    return Arrived::kWhole;
  }
  ChunkedBody chunks(kMaxBodyLength);
  for (;;) {
    std::size_t used = 0;
    const ChunkedBody::State state =
        chunks.take(received.bytes().data(), received.bytes().size(), used);
    received.bytes().erase(0, used);
    if (state == ChunkedBody::State::kDone) break;
    if (state == ChunkedBody::State::kBad) {
      problem = FramingProblem{400, "the chunked body is malformed"};
      return Arrived::kUnframed;
    }
    if (state == ChunkedBody::State::kTooLong) {
      problem = FramingProblem{
          413, "the body is longer than " + std::to_string(kMaxBodyLength) + " bytes"};
      return Arrived::kUnframed;
    }
    const ssize_t n = received.more(deadline);
    if (n <= 0) return n == 0 ? Arrived::kGone : Arrived::kLate;
  }
  body = chunks.body();
  return Arrived::kWhole;
}

// The request as the HTTP library reads it, and the socket it answers on.
class ForwardedStream final : public httplib::Stream {
 public:
  ForwardedStream(int fd, std::string request) : fd_(fd), request_(std::move(request)) {}

  bool is_readable() const override { return offset_ < request_.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, request_.size() - offset_);
    std::memcpy(ptr, request_.data() + offset_, n);
    offset_ += n;
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
  void addressOf(int (*name)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char text[INET6_ADDRSTRLEN] = {};
    if (name(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    if (address.ss_family == AF_INET6) {
      const auto& six = reinterpret_cast<const sockaddr_in6&>(address);
      inet_ntop(AF_INET6, &six.sin6_addr, text, sizeof text);
      port = ntohs(six.sin6_port);
    } else if (address.ss_family == AF_INET) {
      const auto& four = reinterpret_cast<const sockaddr_in&>(address);
      inet_ntop(AF_INET, &four.sin_addr, text, sizeof text);
      port = ntohs(four.sin_port);
    }
    ip = text;
  }

  int fd_;
  std::string request_;
  std::size_t offset_ = 0;
};

}  // namespace

void serveWeb(WebSite& site, int fd, const Client& client, const std::string& who,
              const std::atomic<bool>& stopping, const std::function<void(bool)>& whole) {
  Received received(fd);
  for (int count = 0; !stopping && count < kMaxRequestsPerConnection; ++count) {
    whole(false);
    if (!received.arrive(Clock::now() + kWebIdle) || stopping) return;
    RequestHead head;
    std::string body;
    FramingProblem problem;
    switch (
        readRequest(received, Clock::now() + kRequestTime, site.guard(), head, body, problem, fd)) {
      case Arrived::kGone:
        return;
      case Arrived::kLate:
        site.refuse(fd, who, head,
                    FramingProblem{400, "the request was not whole within " +
                                            std::to_string(kRequestTime.count()) + " s"});
        logLine(who + ": closed, a request not whole within " +
                std::to_string(kRequestTime.count()) + " s and " +
                std::to_string(kMaxRequestBytes) + " bytes");
        return;
      case Arrived::kUnframed:
        site.refuse(fd, who, head, problem);
        return;
      case Arrived::kWhole:
        break;
    }
    whole(true);
    ForwardedStream stream(fd, forwardedRequest(head, body));
    bool closed = false;
    const int status =
        site.serveOne(stream, client, who, count + 1 == kMaxRequestsPerConnection, closed);
    // After a failure, what the client sends next is not taken as a request.
    if (status == 0 || status >= 400 || closed) return;
  }
}

}  // namespace tunerd
