// The blasters tunerd owns, one per port: requests for one blaster take turns in arrival order,
// a connection keeps its blaster from its first key until it closes or falls silent for
// kHoldMs, and a port stays open between requests that come close together, never longer than
// kPortIdleMs unused, so that the plug-in or tunerctl waiting for it gets it in its own wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "blaster/open_blaster.h"

namespace tunerd {

constexpr auto kHold = std::chrono::milliseconds(1000);
constexpr auto kPortIdle = std::chrono::milliseconds(2000);

using Clock = std::chrono::steady_clock;

class BlasterPool {
  struct Blaster {
    explicit Blaster(const tuner::BlasterLink& link) : holder(link) {}
    std::mutex lock;
    std::condition_variable changed;
    std::uint64_t owner = 0;  // the connection that holds it; 0: nobody
    bool busy = false;        // a request runs on it
    Clock::time_point lastUse{};
    std::deque<std::uint64_t> waiting;  // tickets, in arrival order
    std::uint64_t nextTicket = 0;
    tuner::OpenBlaster holder;
  };

 public:
  BlasterPool(const tuner::DiagnosticLog& log, tuner::SerialServices& serial)
      : link_{log, serial} {}

  // The blaster of one request, exclusive while it lives.
  class Turn {
   public:
    explicit Turn(Blaster& blaster) : blaster_(blaster) {}
    ~Turn();
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    tuner::OpenBlaster& blaster() { return blaster_.holder; }

   private:
    Blaster& blaster_;
  };

  // Waits for the blaster on port, in arrival order, unless this connection holds it already.
  std::unique_ptr<Turn> take(const std::string& port, std::uint64_t connection);

  // The connection closed: whatever it holds is free.
  void release(std::uint64_t connection);

  // Closes every port unused for kPortIdle.
  void closeIdlePorts();

 private:
  Blaster& blasterOn(const std::string& port);

  tuner::BlasterLink link_;
  std::mutex blastersLock_;
  std::map<std::string, std::unique_ptr<Blaster>> blasters_;
};

}  // namespace tunerd
