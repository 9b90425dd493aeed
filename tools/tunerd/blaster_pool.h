// The blasters tunerd owns, one per port. Requests for one blaster take turns in arrival order.
// A connection holds its blaster between requests that follow each other within kHold, so that
// a channel sent as one line per digit stays whole; once another client waits, the hold covers
// at most kHoldPresses keys in all. Nobody waits longer than kTurnWait, and a client that has
// gone, or a stopping tunerd, waits no more. A port stays open between requests that come close
// together, never longer than kPortIdle unused, and other programs may take it between turns.
// A code-set search holds its blaster for as long as it runs: every other request for it is
// answered at once that a search is running, rather than left waiting for minutes.
// The pool knows a blaster by its device, however its port is named, and only while something
// uses it: a port that is no terminal under /dev gets a blaster of its own request's, and one
// unused (closed, unheld, awaited by nobody) is forgotten.
#pragma once

#include "service_limits.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "blaster/open_blaster.h"

namespace tunerd {

using Clock = std::chrono::steady_clock;

class BlasterPool {
  struct Waiter {
    std::uint64_t ticket;
    std::uint64_t connection;
  };
  struct Blaster {
    explicit Blaster(const tuner::BlasterLink& link) : holder(link) {}
    bool unused(Clock::time_point now) const;  // under lock
    std::mutex lock;
    std::condition_variable changed;
    std::uint64_t owner = 0;  // the connection that holds it; 0: nobody
    bool busy = false;        // a request runs on it
    bool searched = false;    // a code-set search holds it
    int heldPresses = 0;      // keys of the owner's requests since its hold began
    Clock::time_point lastUse{};
    std::deque<Waiter> waiting;  // in arrival order
    std::uint64_t nextTicket = 0;
    tuner::OpenBlaster holder;
  };

 public:
  // The pool keeps its own copy of the trace's log, which its blasters' link refers to.
  BlasterPool(const tuner::DiagnosticLog& log, tuner::SerialServices& serial)
      : log_(log), link_{log_, serial} {}

  // The blaster of one request, exclusive while it lives; other programs may have its port
  // once it ends.
  class Turn {
   public:
    explicit Turn(std::shared_ptr<Blaster> blaster) : blaster_(std::move(blaster)) {}
    ~Turn();
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    tuner::OpenBlaster& blaster() { return blaster_->holder; }

   private:
    std::shared_ptr<Blaster> blaster_;
  };

  enum class NoTurn { kGone, kStopping, kTimedOut, kSearching };

  // Waits for the blaster on port for a request of `presses` keys; null, with why, when the
  // client has gone (asked now and then while it waits), tunerd stops, kTurnWait passed or a
  // search holds the blaster. A turn taken for a search keeps every other request away.
  std::unique_ptr<Turn> take(const std::string& port, std::uint64_t connection, int presses,
                             const std::function<bool()>& gone, NoTurn& why, bool search = false);

  // The connection closed: whatever it holds is free.
  void release(std::uint64_t connection);

  // Every waiter gives up, and nobody gets a turn any more.
  void stop();

  // Closes every port unused for kPortIdle and forgets the blasters nothing uses; whether the
  // pool still knows one (and is to be asked again).
  bool closeIdlePorts();

 private:
  std::shared_ptr<Blaster> blasterOn(const std::string& port);

  tuner::DiagnosticLog log_;
  tuner::BlasterLink link_;
  std::mutex blastersLock_;
  std::map<std::string, std::shared_ptr<Blaster>> blasters_;  // by device
  std::atomic<bool> stopping_{false};
};

}  // namespace tunerd
