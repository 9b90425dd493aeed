#include "blaster_pool.h"

namespace tunerd {

BlasterPool::Turn::~Turn() {
  std::lock_guard<std::mutex> held(blaster_.lock);
  blaster_.busy = false;
  blaster_.lastUse = Clock::now();
  blaster_.changed.notify_all();
}

BlasterPool::Blaster& BlasterPool::blasterOn(const std::string& port) {
  std::lock_guard<std::mutex> held(blastersLock_);
  std::unique_ptr<Blaster>& blaster = blasters_[port];
  if (!blaster) blaster = std::make_unique<Blaster>(link_);
  return *blaster;
}

std::unique_ptr<BlasterPool::Turn> BlasterPool::take(const std::string& port,
                                                     std::uint64_t connection) {
  Blaster& blaster = blasterOn(port);
  std::unique_lock<std::mutex> held(blaster.lock);
  const std::uint64_t ticket = ++blaster.nextTicket;
  blaster.waiting.push_back(ticket);
  // The holder goes on at once; anyone else waits for the blaster to be free, for the holder
  // to have been silent for kHold, and for those who came first.
  const auto mayGo = [&] {
    if (blaster.busy) return false;
    if (blaster.owner == connection) return true;
    const bool free = blaster.owner == 0 || Clock::now() - blaster.lastUse >= kHold;
    return free && blaster.waiting.front() == ticket;
  };
  while (!mayGo()) blaster.changed.wait_for(held, std::chrono::milliseconds(20));
  for (auto it = blaster.waiting.begin(); it != blaster.waiting.end(); ++it) {
    if (*it == ticket) {
      blaster.waiting.erase(it);
      break;
    }
  }
  blaster.owner = connection;
  blaster.busy = true;
  blaster.changed.notify_all();
  return std::make_unique<Turn>(blaster);
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

void BlasterPool::closeIdlePorts() {
  std::lock_guard<std::mutex> held(blastersLock_);
  for (auto& [port, blaster] : blasters_) {
    std::lock_guard<std::mutex> its(blaster->lock);
    if (!blaster->busy && blaster->holder.isOpen() &&
        Clock::now() - blaster->lastUse >= kPortIdle) {
      blaster->holder.close();
    }
  }
}

}  // namespace tunerd
