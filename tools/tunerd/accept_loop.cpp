#include "accept_loop.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "refusals.h"
#include "service_log.h"

namespace tunerd {
namespace {

// Accepting stops for a second when the process has no descriptors left, rather than spin.
constexpr auto kAcceptPause = std::chrono::seconds(1);

bool outOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

void acceptUntilStopped(const Listening& listening, int wake, Connections& connections,
                        BlasterPool& blasters, std::atomic<bool>& stopping,
                        const std::function<bool()>& hangUp) {
  std::vector<int> listeners{listening.local};
  for (int fd : {listening.tcp, listening.web}) {
    if (fd >= 0) listeners.push_back(fd);
  }
  Refusals refusals;
  ThrottledLog refusalLog;
  ThrottledLog acceptLog;
  auto acceptFrom = Clock::now();
  bool blastersKnown = false;
  while (!stopping) {
    std::vector<pollfd> waiting{pollfd{wake, POLLIN, 0}};
    const bool accepting = Clock::now() >= acceptFrom;
    if (accepting) {
      for (int fd : listeners) waiting.push_back(pollfd{fd, POLLIN, 0});
    }
    int timeout = refusals.watch(waiting);
    const auto sooner = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
    if (blastersKnown) sooner(static_cast<int>(kPortIdle.count()) / 2);
    if (!accepting) sooner(500);
    if (poll(waiting.data(), waiting.size(), timeout) < 0 && errno != EINTR) break;
    char bytes[64];
    for (ssize_t n; (n = read(wake, bytes, sizeof bytes)) > 0;) {
      for (ssize_t i = 0; i < n; ++i) {
        if (bytes[i] == 'T') stopping = true;
        if (bytes[i] == 'H' && !(hangUp && hangUp())) {
          logLine(
              "SIGHUP: nothing to reload, the tuner file, recipes and buttons are "
              "read afresh for each request");
        }
      }
    }
    connections.reap();
    refusals.serve(waiting);
    for (std::size_t i = 1; accepting && i <= listeners.size(); ++i) {
      if ((waiting[i].revents & POLLIN) == 0) continue;
      const bool tcp = waiting[i].fd != listening.local;
      for (int accepted = 0; accepted < 64; ++accepted) {
        const int fd = accept4(waiting[i].fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
          if (outOfDescriptors(errno)) {
            acceptLog.log(std::string("cannot accept clients: ") + std::strerror(errno) +
                          "; trying again in 1 s");
            acceptFrom = Clock::now() + kAcceptPause;
          }
          break;
        }
        Peer peer = peerOf(fd, tcp);
        peer.web = waiting[i].fd == listening.web;
        if (tcp && !mayServe(peer.address, listening.allowed)) {
          refusalLog.log("refused " + peer.shown + ": not a client --allow names");
          close(fd);
          continue;
        }
        std::string refusal;
        if (!connections.serve(fd, peer, refusal)) {
          refusalLog.log("refused " + peer.shown + ": " + refusal);
          refusals.add(fd, peer.user, refusal, peer.web);
        }
      }
    }
    blastersKnown = blasters.closeIdlePorts();
  }
}

}  // namespace tunerd
