// Requests whose clients do not wait for their keys (the API's "wait": false): run by a few
// workers of tunerd's own, in the order they came, at most kMaxBackground waiting. Each holds its
// blaster as a connection of its own; what became of it is the tuner's last result.
#pragma once

#include "service_limits.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tunerd {

class Background {
 public:
  Background() = default;
  ~Background();  // the requests waiting are dropped; those running finish
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // Starts the workers; false, with why, when the system has no threads to give.
  bool start(std::string& problem);

  // Queues work, which is given the connection number it runs as; false when kMaxBackground
  // requests wait already.
  bool post(std::function<void(std::uint64_t)> work);

 private:
  void serve();

  std::mutex lock_;
  std::condition_variable waiting_;
  std::deque<std::function<void(std::uint64_t)>> work_;
  bool ending_ = false;
  std::uint64_t lastConnection_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace tunerd
