// Clients turned away for want of room are told why: their first request line is read (LIRC
// clients wait for the echo of their own line) and answered with an ERROR that says the reason,
// then the connection is closed. Served from the accepting thread's poll, kMaxRefusing at once
// and kMaxRefusingPerUser of one user or address, each for kRefusalWait at the most: past
// those, the one that waited longest is closed bare, so that the newest comer is answered.
#pragma once

#include "service_limits.h"

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tunerd {

class Refusals {
 public:
  ~Refusals();

  // Takes the non-blocking socket of a client of user (a uid or an address) over; an HTTP
  // client is answered 503.
  void add(int fd, const std::string& user, const std::string& reason, bool web = false);

  // The sockets to poll, appended to waiting; the time until the first gives up, -1 for none.
  int watch(std::vector<pollfd>& waiting) const;
  // Answers or drops those that poll found ready or that waited long enough.
  void serve(const std::vector<pollfd>& polled);

 private:
  struct Refusal {
    int fd;
    std::string user;
    std::string reason;
    bool web;
    std::string received;
    std::chrono::steady_clock::time_point until;
  };
  std::vector<Refusal> refusing_;
};

}  // namespace tunerd
