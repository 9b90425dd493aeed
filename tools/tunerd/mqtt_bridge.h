// Home Assistant over MQTT: tunerd connects to a broker with libmosquitto, publishes retained
// discovery for every tuner of the tuner file (a Channel text entity, a button per named button,
// a sensor with the last result) and its availability (its will says "offline"), and takes
// channels and button presses from the command topics, each in its turn at the blaster as
// irsend's requests are. The broker is never in the path of another client's keys: publishing
// only queues, and a broker that is gone is tried again, up to a minute apart.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mqtt_topics.h"
#include "service.h"
#include "service_log.h"

struct mosquitto;
struct mosquitto_message;

namespace tunerd {

struct MqttSettings {
  std::string host;
  int port = 1883;
  std::string user;      // empty: none
  std::string password;  // from the password file; never logged
  MqttNames names;
};

// Commands waiting for a worker at the most; more are dropped with a log line.
constexpr std::size_t kMaxMqttCommands = 32;
constexpr int kMqttWorkers = 4;
// The longest payload taken as a channel.
constexpr std::size_t kMaxMqttPayload = 32;

class MqttBridge {
 public:
  MqttBridge(Service& service, MqttSettings settings);
  ~MqttBridge();  // says "offline", disconnects and waits for the commands in progress
  MqttBridge(const MqttBridge&) = delete;
  MqttBridge& operator=(const MqttBridge&) = delete;

  // Starts connecting in the background; false, with why, when the client cannot be made.
  bool start(std::string& problem);
  // Reads the tuner file afresh and publishes discovery again (SIGHUP).
  void reload();

 private:
  struct Command {
    std::string id;
    std::string button;  // empty: the channel
    std::string payload;
  };
  static void onConnect(mosquitto* client, void* self, int code);
  static void onDisconnect(mosquitto* client, void* self, int code);
  static void onMessage(mosquitto* client, void* self, const mosquitto_message* message);
  void publishAll();
  void publish(const std::string& topic, const std::string& payload, bool retain);
  void take(const Command& command);
  void work();
  void run(const Command& command);
  std::string where() const;

  Service& service_;
  MqttSettings settings_;
  const std::string version_;
  mosquitto* client_ = nullptr;
  ThrottledLog brokerLog_;
  ThrottledLog commandLog_;
  std::mutex lock_;
  std::map<std::string, std::string> tuners_;  // id -> name as the file spells it
  std::set<std::string> discovery_;            // the discovery topics published
  std::condition_variable waiting_;
  std::deque<Command> commands_;
  bool ending_ = false;
  std::vector<std::thread> workers_;
  std::uint64_t lastClient_ = 0;
};

}  // namespace tunerd
