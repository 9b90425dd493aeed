#include "background.h"

#include <system_error>

namespace tunerd {
namespace {

// Background requests hold blasters as connections of their own, numbered far from the
// clients', the searches' and MQTT's.
constexpr std::uint64_t kBackgroundConnections = std::uint64_t{1} << 60;

}  // namespace

Background::~Background() {
  {
    std::lock_guard<std::mutex> held(lock_);
    ending_ = true;
    work_.clear();
    waiting_.notify_all();
  }
  for (std::thread& worker : workers_) worker.join();
}

bool Background::start(std::string& problem) {
  try {
    for (int i = 0; i < kBackgroundWorkers; ++i) workers_.emplace_back([this] { serve(); });
  } catch (const std::system_error& failure) {
    problem = std::string("cannot start a thread: ") + failure.what();
    return false;
  }
  return true;
}

bool Background::post(std::function<void(std::uint64_t)> work) {
  std::lock_guard<std::mutex> held(lock_);
  if (ending_ || work_.size() >= kMaxBackground) return false;
  work_.push_back(std::move(work));
  waiting_.notify_one();
  return true;
}

void Background::serve() {
  for (;;) {
    std::function<void(std::uint64_t)> work;
    std::uint64_t connection = 0;
    {
      std::unique_lock<std::mutex> held(lock_);
      waiting_.wait(held, [this] { return ending_ || !work_.empty(); });
      if (work_.empty()) return;
      work = std::move(work_.front());
      work_.pop_front();
      connection = kBackgroundConnections + ++lastConnection_;
    }
    work(connection);
  }
}

}  // namespace tunerd
