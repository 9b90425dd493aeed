#include "mqtt_bridge.h"

#include <mosquitto.h>

#include <chrono>
#include <cstring>

#include "button_names.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"
#include "tuner_requests.h"

namespace tunerd {
namespace {

// MQTT's commands hold blasters as connections of their own, numbered far from the clients'.
constexpr std::uint64_t kMqttConnections = std::uint64_t{1} << 61;
constexpr int kKeepAlive = 30;

}  // namespace

MqttBridge::MqttBridge(Service& service, MqttSettings settings)
    : service_(service), settings_(std::move(settings)), version_("tunerd " TUNER_VERSION) {}

MqttBridge::~MqttBridge() {
  if (client_ != nullptr) {
    publish(availabilityTopic(settings_.names), "offline", true);
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
  }
  {
    std::lock_guard<std::mutex> held(lock_);
    ending_ = true;
    waiting_.notify_all();
  }
  for (std::thread& worker : workers_) worker.join();
  if (client_ != nullptr) mosquitto_destroy(client_);
  mosquitto_lib_cleanup();
}

std::string MqttBridge::where() const {
  return "the MQTT broker " + settings_.host + ":" + std::to_string(settings_.port);
}

bool MqttBridge::start(std::string& problem) {
  mosquitto_lib_init();
  client_ = mosquitto_new(nullptr, true, this);
  if (client_ == nullptr) {
    problem = "cannot make an MQTT client: " + std::string(std::strerror(errno));
    return false;
  }
  const std::string offline = "offline";
  mosquitto_will_set(client_, availabilityTopic(settings_.names).c_str(),
                     static_cast<int>(offline.size()), offline.data(), 1, true);
  if (!settings_.user.empty()) {
    mosquitto_username_pw_set(client_, settings_.user.c_str(), settings_.password.c_str());
  }
  mosquitto_reconnect_delay_set(client_, 1, 60, true);
  mosquitto_connect_callback_set(client_, onConnect);
  mosquitto_disconnect_callback_set(client_, onDisconnect);
  mosquitto_message_callback_set(client_, onMessage);
  for (int i = 0; i < kMqttWorkers; ++i) workers_.emplace_back([this] { work(); });
  service_.results.onChange([this](const std::string& tuner, const LastResults::Result& result) {
    publish(resultTopic(settings_.names, topicSafeId(tuner)), sensorState(result.sentence), true);
  });
  const int connecting =
      mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port, kKeepAlive);
  if (connecting != MOSQ_ERR_SUCCESS) {
    brokerLog_.log("cannot reach " + where() + ": " + mosquitto_strerror(connecting) +
                   "; trying again, at most a minute apart");
  }
  if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) {
    problem = "cannot start the MQTT client's thread";
    return false;
  }
  return true;
}

void MqttBridge::onConnect(mosquitto*, void* self, int code) {
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  if (code != 0) {
    bridge.brokerLog_.log(bridge.where() + " refused tunerd: " + mosquitto_connack_string(code) +
                          " (check --mqtt-user and the password file); trying again, at most a "
                          "minute apart");
    return;
  }
  logLine("connected to " + bridge.where());
  bridge.publishAll();
  for (const std::string& topic : subscriptions(bridge.settings_.names)) {
    mosquitto_subscribe(bridge.client_, nullptr, topic.c_str(), 1);
  }
}

void MqttBridge::onDisconnect(mosquitto*, void* self, int code) {
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  if (code != 0) {
    bridge.brokerLog_.log("lost " + bridge.where() + "; connecting again, at most a minute apart");
  }
}

void MqttBridge::reload() {
  logLine("SIGHUP: the tuner file is read again for MQTT discovery");
  publishAll();
}

void MqttBridge::publishAll() {
  const tuner::DiagnosticLog untraced{std::string()};
  std::vector<std::string> names;
  tuner::readTunerNames(service_.configPath, names);
  std::map<std::string, std::string> tuners;
  std::vector<Discovery> discovery;
  for (const std::string& name : names) {
    const std::string port = lookUpLine(untraced, service_, name).settings.comPort;
    tuners[topicSafeId(name)] = name;
    for (Discovery& made : discoveryOf(settings_.names, name, port,
                                       tuner::namedButtons(service_.buttonsPath, name), version_)) {
      discovery.push_back(std::move(made));
    }
  }
  std::set<std::string> gone;
  {
    std::lock_guard<std::mutex> held(lock_);
    gone.swap(discovery_);
    tuners_ = tuners;
    for (const Discovery& made : discovery) {
      discovery_.insert(made.topic);
      gone.erase(made.topic);
    }
  }
  publish(availabilityTopic(settings_.names), "online", true);
  for (const Discovery& made : discovery) publish(made.topic, made.payload, true);
  for (const std::string& topic : gone) publish(topic, std::string(), true);
  for (const auto& [id, name] : tuners) {
    LastResults::Result last;
    if (service_.results.get(name, last)) {
      publish(resultTopic(settings_.names, id), sensorState(last.sentence), true);
    }
  }
}

void MqttBridge::publish(const std::string& topic, const std::string& payload, bool retain) {
  // Queued for the client's thread; while the broker is away, dropped (all is published again
  // on reconnection).
  mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                    payload.data(), 1, retain);
}

void MqttBridge::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  const std::string topic = message->topic;
  const std::string payload(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(std::max(message->payloadlen, 0)));
  if (isOwnDiscovery(bridge.settings_.names, topic)) {
    // Retained discovery of a tuner that is no longer in the file: cleared.
    bool known = false;
    {
      std::lock_guard<std::mutex> held(bridge.lock_);
      known = bridge.discovery_.count(topic) != 0;
    }
    if (!known && !payload.empty()) bridge.publish(topic, std::string(), true);
    return;
  }
  if (message->retain) return;  // a command left on the broker is no command now
  Command command;
  if (readCommandTopic(bridge.settings_.names, topic, command.id, command.button)) {
    command.payload = payload;
    bridge.take(command);
  }
}

void MqttBridge::take(const Command& command) {
  std::lock_guard<std::mutex> held(lock_);
  if (commands_.size() >= kMaxMqttCommands) {
    commandLog_.log("MQTT: a command for " + command.id +
                    " dropped: " + std::to_string(kMaxMqttCommands) + " commands wait already");
    return;
  }
  commands_.push_back(command);
  waiting_.notify_one();
}

void MqttBridge::work() {
  for (;;) {
    Command command;
    {
      std::unique_lock<std::mutex> held(lock_);
      waiting_.wait(held, [this] { return ending_ || !commands_.empty(); });
      if (commands_.empty()) return;
      command = commands_.front();
      commands_.pop_front();
    }
    run(command);
  }
}

void MqttBridge::run(const Command& command) {
  std::string name;
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> held(lock_);
    const auto found = tuners_.find(command.id);
    if (found != tuners_.end()) name = found->second;
    id = kMqttConnections + ++lastClient_;
  }
  const std::string shown = "MQTT " + command.id +
                            (command.button.empty() ? " channel" : " " + command.button) + " \"" +
                            command.payload.substr(0, 40) + "\"";
  if (name.empty()) {
    commandLog_.log(shown + ": ignored, no tuner of the tuner file has that id");
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  const Client client{id, {}};
  Outcome outcome;
  if (command.button.empty() && command.payload.size() > kMaxMqttPayload) {
    outcome = Outcome{Verdict::kWrongRequest, TUNER_INVALID_CHANNEL,
                      "a channel payload of " + std::to_string(command.payload.size()) +
                          " bytes is no channel: nothing was sent"};
  } else if (command.button.empty()) {
    outcome = tuneChannel(service_, name, command.payload, client);
  } else {
    std::string button;
    for (const auto& [named, key] : tuner::namedButtons(service_.buttonsPath, name)) {
      if (topicSafeButton(named) == command.button) button = named;
    }
    if (button.empty()) {
      outcome = Outcome{Verdict::kWrongRequest, TUNER_NOTHING_TO_SEND,
                        "no button of buttons.txt for \"" + name + "\" is " + command.button +
                            ": nothing was sent"};
    } else {
      outcome = sendButtons(service_, {name, button, "1"}, client);
    }
  }
  // A wrong command is no tuner's last result, but the sensor is its only answer.
  if (outcome.verdict == Verdict::kWrongRequest) {
    publish(resultTopic(settings_.names, command.id), sensorState(outcome.sentence), true);
  }
  const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - started)
                                        .count());
  logLine(shown + ": " +
          (outcome.verdict == Verdict::kDone ? "SUCCESS" : "ERROR (" + outcome.sentence + ")") +
          " in " + std::to_string(ms) + " ms");
}

}  // namespace tunerd
