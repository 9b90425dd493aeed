// What tunerd publishes for Home Assistant, as pure functions: the topics of each tuner and its
// discovery messages. A tuner's id is its name made topic-safe with a short hash of the exact
// name, so that it stays the same when the file is edited and two names never share it.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tunerd {

struct MqttNames {
  std::string base = "tunerdll";            // tunerd's own topics
  std::string discovery = "homeassistant";  // Home Assistant's discovery prefix
};

// "living_room_3f2a9c1b" for "Living room."
std::string topicSafeId(const std::string& name);
// "key_enter" for "KEY_ENTER": a button's part of its command topic.
std::string topicSafeButton(const std::string& button);

// tunerd's availability: "online" while connected, "offline" as its will.
std::string availabilityTopic(const MqttNames& names);
std::string channelTopic(const MqttNames& names, const std::string& id);
std::string buttonTopic(const MqttNames& names, const std::string& id, const std::string& button);
std::string resultTopic(const MqttNames& names, const std::string& id);
// What tunerd subscribes to: every tuner's channel and buttons, and its own retained discovery
// (to clear that of tuners no longer in the file).
std::vector<std::string> subscriptions(const MqttNames& names);

// A retained discovery message.
struct Discovery {
  std::string topic;
  std::string payload;  // JSON
};

// The discovery of one tuner: a text entity Channel, a button per named button, a sensor with
// the last result.
std::vector<Discovery> discoveryOf(const MqttNames& names, const std::string& tuner,
                                   const std::string& port,
                                   const std::map<std::string, int>& buttons,
                                   const std::string& version);

// A command topic taken apart: the tuner's id and the button (empty for the channel); false for
// a topic that is no command of tunerd's.
bool readCommandTopic(const MqttNames& names, const std::string& topic, std::string& id,
                      std::string& button);

// Whether topic is a discovery topic of tunerd's own.
bool isOwnDiscovery(const MqttNames& names, const std::string& topic);

// Home Assistant keeps at most 255 characters of a sensor's state.
std::string sensorState(const std::string& sentence);

}  // namespace tunerd
