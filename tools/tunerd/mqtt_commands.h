// The commands that came over MQTT, waiting for a worker. They run in the order they came, one
// at a time for each tuner, so that a flood for one tuner holds no other; a channel replaces a
// channel for the same tuner still waiting (the last one wins, as a user who types again means
// it), and a tuner's presses wait kMaxMqttPresses deep at the most. Everything is bounded before
// it is queued.
#pragma once

#include "service_limits.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <set>
#include <string>

namespace tunerd {

struct MqttCommand {
  std::string id;      // the tuner's id in its topics
  std::string button;  // empty: the channel
  std::string payload;
};

class MqttCommands {
 public:
  enum class Added { kQueued, kReplaced, kFull };
  Added add(const MqttCommand& command);
  // The first command whose tuner has none running, taken; false once ended and none is left
  // to take. Waits for one.
  bool next(MqttCommand& command);
  // The tuner's command ended: its next may run.
  void done(const std::string& id);
  // Wakes every waiter; commands still waiting are dropped.
  void end();

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<MqttCommand> waiting_;
  std::set<std::string> running_;
  bool ended_ = false;
};

}  // namespace tunerd
