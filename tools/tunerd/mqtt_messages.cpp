// What the MQTT bridge publishes of the tuner file, and the commands it takes: each bounded in
// the library's callback before anything of it is kept, then queued for the workers.
#include <mosquitto.h>

#include <chrono>
#include <cstring>

#include "button_names.h"
#include "common/printable_text.h"
#include "lirc_protocol.h"
#include "mqtt_bridge.h"
#include "tuner/channel_map.h"
#include "tuner/tuner_config.h"
#include "tuner_requests.h"

namespace tunerd {
namespace {

// MQTT's commands hold blasters as connections of their own, numbered far from the clients'.
constexpr std::uint64_t kMqttConnections = std::uint64_t{1} << 61;

}  // namespace

void MqttBridge::publishAll() {
  std::vector<tuner::TunerLine> lines;
  tuner::readTunerLines(service_.configPath, lines);
  std::map<std::string, std::string> tuners;
  std::vector<Discovery> discovery;
  for (const tuner::TunerLine& line : lines) {
    const std::string& name = line.name;
    const std::string& port = line.port;
    tuners[topicSafeId(name)] = name;
    std::vector<std::string> favourites;
    for (const tuner::ChannelEntry& entry : tunerChannels(service_, name)) {
      if (!entry.name.empty()) favourites.push_back(entry.name);
    }
    for (Discovery& made : discoveryOf(settings_.names, name, port, tunerButtons(service_, name),
                                       TUNER_VERSION, favourites)) {
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
    // What the scheme before nodes left retained for this tuner goes (its discovery is cleared
    // as the broker hands it over).
    publish(formerResultTopic(settings_.names, id), std::string(), true);
    LastResults::Result last;
    if (service_.results.get(name, last)) publishState(name, last);
  }
}

void MqttBridge::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  const MqttNames& names = bridge.settings_.names;
  const std::string topic = message->topic;
  const bool empty = message->payloadlen <= 0;
  if (topic == homeAssistantStatusTopic(names)) {
    // Home Assistant started again: it is told everything afresh.
    if (message->payloadlen == 6 && std::memcmp(message->payload, "online", 6) == 0) {
      bridge.publishAll();
    }
    return;
  }
  if (isOwnDiscovery(names, topic)) {
    // Retained discovery of a tuner that is no longer in the file: cleared.
    bool known = false;
    {
      std::lock_guard<std::mutex> held(bridge.lock_);
      known = bridge.discovery_.count(topic) != 0;
    }
    if (!known && !empty) bridge.publish(topic, std::string(), true);
    return;
  }
  std::set<std::string> ids;
  {
    std::lock_guard<std::mutex> held(bridge.lock_);
    for (const auto& [id, name] : bridge.tuners_) ids.insert(id);
  }
  if (isFormerDiscoveryOf(names, topic, ids)) {
    if (!empty) bridge.publish(topic, std::string(), true);
    return;
  }
  if (message->retain) return;  // a command left on the broker is no command now
  bridge.takeCommand(topic, *message);
}

void MqttBridge::refuse(const std::string& id, const std::string& shown,
                        const std::string& sentence) {
  commandLog_.log(shown + ": " + sentence);
  // The sensor is a wrong command's only answer (it is no tuner's last result); a flood of one
  // mistake is answered once.
  const std::string state = sensorState(sentence);
  {
    std::lock_guard<std::mutex> held(lock_);
    if (tuners_.count(id) == 0 || sensorShown_[id] == state) return;
    sensorShown_[id] = state;
  }
  publish(resultTopic(settings_.names, id), state, true);
}

void MqttBridge::takeCommand(const std::string& topic, const mosquitto_message& message) {
  MqttCommand command;
  bool favourite = false;
  if (!readCommandTopic(settings_.names, topic, command.id, command.button, &favourite)) return;
  const auto size = static_cast<std::size_t>(std::max(message.payloadlen, 0));
  const std::string start(static_cast<const char*>(message.payload),
                          std::min<std::size_t>(size, 40));
  const std::string shown = "MQTT " + command.id + " " +
                            (command.button.empty() ? "channel \"" + start + "\"" : command.button);
  if (command.button.empty() && size > (favourite ? kMaxMqttFavourite : kMaxMqttPayload)) {
    return refuse(
        command.id, shown,
        "a channel payload of " + std::to_string(size) + " bytes is no channel: nothing was sent");
  }
  if (!command.button.empty()) {
    if (size != 5 || std::memcmp(message.payload, "PRESS", 5) != 0) {
      commandLog_.log(shown + ": a payload other than PRESS presses nothing");
      return;
    }
  } else {
    command.payload.assign(static_cast<const char*>(message.payload), size);
    std::string tuner;
    {
      std::lock_guard<std::mutex> held(lock_);
      const auto found = tuners_.find(command.id);
      if (found != tuners_.end()) tuner = found->second;
    }
    // Checked as the request is made, with the one channel rule and the tuner's channel map,
    // before it is queued.
    const TunerRequest request = TunerRequest::channel(service_, tuner, command.payload);
    if (!request.ready()) return refuse(command.id, shown, request.outcome().sentence);
  }
  if (commands_.add(command) == MqttCommands::Added::kFull) {
    commandLog_.log(shown + ": dropped, " + std::to_string(kMaxMqttCommands) + " commands (or " +
                    std::to_string(kMaxMqttPresses) + " presses of this tuner) wait already");
  }
}

void MqttBridge::work() {
  for (MqttCommand command; commands_.next(command);) {
    run(command);
    commands_.done(command.id);
  }
}

void MqttBridge::run(const MqttCommand& command) {
  std::string name;
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> held(lock_);
    const auto found = tuners_.find(command.id);
    if (found != tuners_.end()) name = found->second;
    // One tuner's commands come as one client's: a channel follows the last without waiting
    // for its hold to lapse.
    std::uint64_t& client = clients_[command.id];
    if (client == 0) client = kMqttConnections + clients_.size();
    id = client;
  }
  const std::string shown =
      "MQTT " + command.id +
      (command.button.empty() ? " channel \"" + command.payload + "\"" : " " + command.button);
  if (name.empty()) {
    commandLog_.log(shown + ": ignored, no tuner of the tuner file has that id");
    return;
  }
  std::string button;
  for (const tuner::NamedButton& named : tuner::buttonsWithIds(tunerButtons(service_, name))) {
    if (!command.button.empty() && tuner::buttonId(named.written) == command.button) {
      button = named.written;
    }
  }
  if (!command.button.empty() && button.empty()) {
    tuner::ControlResult unknown;
    unknown.code = TUNER_UNKNOWN_BUTTON;
    tuner::setField(unknown.tuner, name.c_str());
    tuner::setField(unknown.command, command.button.c_str());
    return refuse(command.id, shown, tuner::resultSentence(unknown));
  }
  const auto started = std::chrono::steady_clock::now();
  const Outcome outcome = (button.empty() ? TunerRequest::channel(service_, name, command.payload)
                                          : TunerRequest::presses(service_, name, {{button, 0}}, 1))
                              .run(service_, Client{id, {}});
  if (outcome.verdict == Verdict::kWrongRequest) {
    return refuse(command.id, shown, outcome.sentence);
  }
  const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - started)
                                        .count());
  logLine(shown + ": " +
          (outcome.verdict == Verdict::kDone ? "SUCCESS" : "ERROR (" + outcome.sentence + ")") +
          " in " + std::to_string(ms) + " ms");
}

}  // namespace tunerd
