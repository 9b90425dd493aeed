#include "blaster_pool.h"

#include <algorithm>

#include "host_files.h"

namespace tunerd {
namespace {

// How often a waiter asks whether its client is still there.
constexpr auto kGoneCheck = std::chrono::milliseconds(100);

}  // namespace

BlasterPool::Turn::~Turn() {
  std::lock_guard<std::mutex> held(blaster_->lock);
  blaster_->holder.release();
  blaster_->busy = false;
  blaster_->searched = false;
  blaster_->lastUse = Clock::now();
  blaster_->changed.notify_all();
}

bool BlasterPool::Blaster::unused(Clock::time_point now) const {
  return !busy && waiting.empty() && !holder.isOpen() && (owner == 0 || now - lastUse >= kHold);
}

std::shared_ptr<BlasterPool::Blaster> BlasterPool::blasterOn(const std::string& port) {
  const std::string device = serialDevice(port);
  if (device.empty()) return std::make_shared<Blaster>(link_);
  std::lock_guard<std::mutex> held(blastersLock_);
  std::shared_ptr<Blaster>& blaster = blasters_[device];
  if (!blaster) blaster = std::make_shared<Blaster>(link_);
  return blaster;
}

std::unique_ptr<BlasterPool::Turn> BlasterPool::take(const std::string& port,
                                                     std::uint64_t connection, int presses,
                                                     const std::function<bool()>& gone, NoTurn& why,
                                                     bool search) {
  const std::shared_ptr<Blaster> shared = blasterOn(port);
  Blaster& blaster = *shared;
  std::unique_lock<std::mutex> held(blaster.lock);
  const std::uint64_t ticket = ++blaster.nextTicket;
  blaster.waiting.push_back(Waiter{ticket, connection});
  const auto deadline = Clock::now() + kTurnWait;
  const auto othersWait = [&] {
    return std::any_of(blaster.waiting.begin(), blaster.waiting.end(),
                       [&](const Waiter& w) { return w.connection != connection; });
  };
  bool granted = false;
  for (;;) {
    if (stopping_) {
      why = NoTurn::kStopping;
      break;
    }
    if (blaster.searched) {
      why = NoTurn::kSearching;
      break;
    }
    const auto now = Clock::now();
    const bool holdLive = blaster.owner != 0 && now - blaster.lastUse < kHold;
    if (!blaster.busy) {
      // The holder goes on at once while its hold lives and, with others waiting, fits in it.
      if (blaster.owner == connection && holdLive &&
          (!othersWait() || blaster.heldPresses + presses <= kHoldPresses)) {
        blaster.heldPresses += presses;
        granted = true;
        break;
      }
      // Anyone else waits for those who came first, and for a live hold that has keys left.
      const bool holderMayGoOn =
          holdLive && blaster.owner != connection && blaster.heldPresses < kHoldPresses;
      if (blaster.waiting.front().ticket == ticket && !holderMayGoOn) {
        blaster.owner = connection;
        blaster.heldPresses = presses;
        granted = true;
        break;
      }
    }
    if (now >= deadline) {
      why = NoTurn::kTimedOut;
      break;
    }
    if (gone && gone()) {
      why = NoTurn::kGone;
      break;
    }
    auto wake = std::min(deadline, now + kGoneCheck);
    if (holdLive) wake = std::min(wake, blaster.lastUse + kHold);
    blaster.changed.wait_until(held, wake);
  }
  blaster.waiting.erase(std::find_if(blaster.waiting.begin(), blaster.waiting.end(),
                                     [&](const Waiter& w) { return w.ticket == ticket; }));
  if (granted) {
    blaster.busy = true;
    blaster.searched = search;
  }
  blaster.changed.notify_all();
  return granted ? std::make_unique<Turn>(shared) : nullptr;
}

void BlasterPool::release(std::uint64_t connection) {
  std::lock_guard<std::mutex> held(blastersLock_);
  for (auto& [port, blaster] : blasters_) {
    std::lock_guard<std::mutex> its(blaster->lock);
    if (blaster->owner == connection) {
      blaster->owner = 0;
      blaster->changed.notify_all();
    }
  }
}

void BlasterPool::stop() {
  std::lock_guard<std::mutex> held(blastersLock_);
  stopping_ = true;
  for (auto& [port, blaster] : blasters_) {
    std::lock_guard<std::mutex> its(blaster->lock);
    blaster->changed.notify_all();
  }
}

bool BlasterPool::closeIdlePorts() {
  std::lock_guard<std::mutex> held(blastersLock_);
  const auto now = Clock::now();
  for (auto it = blasters_.begin(); it != blasters_.end();) {
    Blaster& blaster = *it->second;
    bool forget = false;
    {
      std::lock_guard<std::mutex> its(blaster.lock);
      if (!blaster.busy && blaster.holder.isOpen() && now - blaster.lastUse >= kPortIdle) {
        blaster.holder.close();
      }
      // Nobody else can reach it: the pool's is the last reference.
      forget = it->second.use_count() == 1 && blaster.unused(now);
    }
    it = forget ? blasters_.erase(it) : std::next(it);
  }
  return !blasters_.empty();
}

}  // namespace tunerd
