// Home Assistant over MQTT: tunerd connects to a broker with libmosquitto, publishes retained
// discovery for every tuner of the tuner file (a Channel text entity with the last channel, a
// button per named button, a sensor with the last result) and its availability (its will says
// "offline"), all under its own node, and takes channels and button presses from the command
// topics, each in its turn at the blaster as irsend's requests are. The broker is never in the
// path of another client's keys: publishing only queues. The connection is tunerd's own to keep:
// tried from the start whenever the broker is away (1 s apart, growing to a minute), given up
// when it is not answered within kConnectWait, and never in the way of tunerd's stop.
#pragma once

#include "service_limits.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mqtt_commands.h"
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
  std::string caFile;    // empty: no TLS
  std::string certFile;  // a client certificate and its key, with TLS; empty: none
  std::string keyFile;
  MqttNames names;
};

class MqttBridge {
 public:
  MqttBridge(Service& service, MqttSettings settings);
  ~MqttBridge();  // says "offline" and disconnects, within a second whatever the network does
  MqttBridge(const MqttBridge&) = delete;
  MqttBridge& operator=(const MqttBridge&) = delete;

  // Starts connecting in the background; false, with why, when the client cannot be made.
  bool start(std::string& problem);
  // Reads the tuner file afresh and publishes discovery again (SIGHUP).
  void reload();

 private:
  static void onConnect(mosquitto* client, void* self, int code);
  static void onDisconnect(mosquitto* client, void* self, int code);
  static void onMessage(mosquitto* client, void* self, const mosquitto_message* message);
  static void onLibraryLog(mosquitto* client, void* self, int level, const char* text);
  void serve();  // the connection's own thread
  void tryConnecting(bool& first);
  void failed(const std::string& why);
  void takeCommand(const std::string& topic, const mosquitto_message& message);
  void publishAll();
  void publishState(const std::string& tuner, const LastResults::Result& result);
  void publish(const std::string& topic, const std::string& payload, bool retain);
  void work();
  void run(const MqttCommand& command);
  // Answers a command that sends nothing on its tuner's sensor, at the refusals' rate.
  void refuse(const std::string& id, const std::string& shown, const std::string& sentence);
  std::string where() const;

  Service& service_;
  MqttSettings settings_;
  mosquitto* client_ = nullptr;
  ThrottledLog brokerLog_;
  ThrottledLog commandLog_;
  MqttCommands commands_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool ending_ = false;
  bool networkEnded_ = false;
  std::atomic<bool> connected_{false};
  std::string libraryError_;                        // the library's last complaint, for the log
  std::map<std::string, std::string> tuners_;       // id -> name as the file spells it
  std::set<std::string> discovery_;                 // the discovery topics published
  std::map<std::string, std::string> sensorShown_;  // id -> its sensor's state, as published
  std::thread network_;
  std::vector<std::thread> workers_;
  std::map<std::string, std::uint64_t> clients_;  // tuner id -> the client its commands are
};

}  // namespace tunerd
