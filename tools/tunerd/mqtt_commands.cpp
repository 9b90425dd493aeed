#include "mqtt_commands.h"

#include <algorithm>

namespace tunerd {

MqttCommands::Added MqttCommands::add(const MqttCommand& command) {
  std::lock_guard<std::mutex> held(lock_);
  const auto sameTuner = [&](const MqttCommand& other) { return other.id == command.id; };
  if (command.button.empty()) {
    const auto waiting = std::find_if(waiting_.begin(), waiting_.end(), [&](const MqttCommand& c) {
      return sameTuner(c) && c.button.empty();
    });
    if (waiting != waiting_.end()) {
      waiting->payload = command.payload;
      return Added::kReplaced;
    }
  } else if (static_cast<std::size_t>(
                 std::count_if(waiting_.begin(), waiting_.end(), [&](const MqttCommand& c) {
                   return sameTuner(c) && !c.button.empty();
                 })) >= kMaxMqttPresses) {
    return Added::kFull;
  }
  if (ended_ || waiting_.size() >= kMaxMqttCommands) return Added::kFull;
  waiting_.push_back(command);
  changed_.notify_all();
  return Added::kQueued;
}

bool MqttCommands::next(MqttCommand& command) {
  std::unique_lock<std::mutex> held(lock_);
  for (;;) {
    if (ended_) return false;
    const auto runnable = std::find_if(waiting_.begin(), waiting_.end(), [&](const MqttCommand& c) {
      return running_.count(c.id) == 0;
    });
    if (runnable != waiting_.end()) {
      command = *runnable;
      waiting_.erase(runnable);
      running_.insert(command.id);
      return true;
    }
    changed_.wait(held);
  }
}

void MqttCommands::done(const std::string& id) {
  std::lock_guard<std::mutex> held(lock_);
  running_.erase(id);
  changed_.notify_all();
}

void MqttCommands::end() {
  std::lock_guard<std::mutex> held(lock_);
  ended_ = true;
  waiting_.clear();
  changed_.notify_all();
}

}  // namespace tunerd
