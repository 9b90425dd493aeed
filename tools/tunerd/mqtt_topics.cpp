#include "mqtt_topics.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace tunerd {
namespace {

std::string slug(const std::string& text) {
  std::string made;
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      made += static_cast<char>(std::tolower(c));
    } else if (!made.empty() && made.back() != '_') {
      made += '_';
    }
  }
  while (!made.empty() && made.back() == '_') made.pop_back();
  return made.substr(0, 40);
}

// The entity's object id, unique among tunerd's: "living_3f2a9c1b_channel".
std::string objectId(const std::string& id, const std::string& entity) { return id + "_" + entity; }

}  // namespace

std::string topicSafeId(const std::string& name) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  const std::string made = slug(name);
  return (made.empty() ? "tuner" : made) + "_" + hex;
}

std::string topicSafeButton(const std::string& button) { return slug(button); }

std::string availabilityTopic(const MqttNames& names) { return names.base + "/status"; }

std::string channelTopic(const MqttNames& names, const std::string& id) {
  return names.base + "/" + id + "/channel/set";
}

std::string buttonTopic(const MqttNames& names, const std::string& id, const std::string& button) {
  return names.base + "/" + id + "/button/" + button + "/press";
}

std::string resultTopic(const MqttNames& names, const std::string& id) {
  return names.base + "/" + id + "/result";
}

std::vector<std::string> subscriptions(const MqttNames& names) {
  return {names.base + "/+/channel/set", names.base + "/+/button/+/press",
          names.discovery + "/+/" + names.base + "/+/config"};
}

std::vector<Discovery> discoveryOf(const MqttNames& names, const std::string& tuner,
                                   const std::string& port,
                                   const std::map<std::string, int>& buttons,
                                   const std::string& version) {
  const std::string id = topicSafeId(tuner);
  const nlohmann::json device{{"identifiers", {names.base + "_" + id}},
                              {"name", tuner},
                              {"manufacturer", "TunerDLL"},
                              {"model", "infrared blaster on " + port},
                              {"sw_version", version}};
  std::vector<Discovery> made;
  const auto add = [&](const char* component, const std::string& entity, nlohmann::json config) {
    config["unique_id"] = names.base + "_" + objectId(id, entity);
    config["object_id"] = objectId(id, entity);
    config["availability_topic"] = availabilityTopic(names);
    config["device"] = device;
    made.push_back(
        Discovery{names.discovery + "/" + component + "/" + names.base + "/" +
                      objectId(id, entity) + "/config",
                  config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)});
  };
  add("text", "channel",
      {{"name", "Channel"},
       {"command_topic", channelTopic(names, id)},
       {"mode", "text"},
       {"min", 1},
       {"max", 17},
       {"pattern", "[0-9]{1,8}([.-][0-9]{1,8})?"},
       {"icon", "mdi:television-box"}});
  for (const auto& named : buttons) {
    const std::string safe = topicSafeButton(named.first);
    add("button", "button_" + safe,
        {{"name", named.first},
         {"command_topic", buttonTopic(names, id, safe)},
         {"payload_press", "PRESS"},
         {"icon", "mdi:remote"}});
  }
  add("sensor", "result",
      {{"name", "Last result"},
       {"state_topic", resultTopic(names, id)},
       {"icon", "mdi:message-text"}});
  return made;
}

bool readCommandTopic(const MqttNames& names, const std::string& topic, std::string& id,
                      std::string& button) {
  const std::string start = names.base + "/";
  if (topic.compare(0, start.size(), start) != 0) return false;
  const std::string rest = topic.substr(start.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  id = rest.substr(0, slash);
  const std::string what = rest.substr(slash);
  if (what == "/channel/set") {
    button.clear();
    return true;
  }
  const std::string pressStart = "/button/";
  const std::string pressEnd = "/press";
  if (what.size() > pressStart.size() + pressEnd.size() &&
      what.compare(0, pressStart.size(), pressStart) == 0 &&
      what.compare(what.size() - pressEnd.size(), pressEnd.size(), pressEnd) == 0) {
    button = what.substr(pressStart.size(), what.size() - pressStart.size() - pressEnd.size());
    return button.find('/') == std::string::npos;
  }
  return false;
}

bool isOwnDiscovery(const MqttNames& names, const std::string& topic) {
  const std::string start = names.discovery + "/";
  const std::string own = "/" + names.base + "/";
  const std::string end = "/config";
  return topic.compare(0, start.size(), start) == 0 &&
         topic.find(own, start.size()) != std::string::npos && topic.size() > end.size() &&
         topic.compare(topic.size() - end.size(), end.size(), end) == 0;
}

std::string sensorState(const std::string& sentence) {
  if (sentence.size() <= 255) return sentence;
  std::size_t cut = 252;
  // Not inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(sentence[cut]) & 0xC0) == 0x80) --cut;
  return sentence.substr(0, cut) + "...";
}

}  // namespace tunerd
