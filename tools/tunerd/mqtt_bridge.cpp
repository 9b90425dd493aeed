#include "mqtt_bridge.h"

#include <mosquitto.h>

#include <cstring>
#include <system_error>

#include "lirc_protocol.h"
#include "tuner/channel_map.h"
#include "tuner/tuner_config.h"
#include "tuner_requests.h"

namespace tunerd {
namespace {

constexpr int kKeepAlive = 30;
// How long one turn of the connection's thread waits on the network.
constexpr int kLoopMs = 100;

using Clock = std::chrono::steady_clock;

}  // namespace

MqttBridge::MqttBridge(Service& service, MqttSettings settings)
    : service_(service), settings_(std::move(settings)) {}

MqttBridge::~MqttBridge() {
  commands_.end();
  bool networkDone = true;
  {
    std::unique_lock<std::mutex> held(lock_);
    ending_ = true;
    changed_.notify_all();
    // A thread held by the system (a name that resolves for ever) is left behind: tunerd
    // stops all the same.
    if (network_.joinable()) {
      networkDone = changed_.wait_for(held, std::chrono::milliseconds(1500),
                                      [this] { return networkEnded_; });
    }
  }
  if (network_.joinable()) {
    if (networkDone) {
      network_.join();
    } else {
      network_.detach();
    }
  }
  for (std::thread& worker : workers_) worker.join();
  if (networkDone && client_ != nullptr) mosquitto_destroy(client_);
  if (networkDone) mosquitto_lib_cleanup();
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
  // Other threads publish while this one runs the connection; what it sends goes at once.
  mosquitto_threaded_set(client_, true);
  mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
  const std::string offline = "offline";
  mosquitto_will_set(client_, availabilityTopic(settings_.names).c_str(),
                     static_cast<int>(offline.size()), offline.data(), 1, true);
  if (!settings_.user.empty()) {
    mosquitto_username_pw_set(client_, settings_.user.c_str(), settings_.password.c_str());
  }
  if (!settings_.caFile.empty()) {
    const int tls =
        mosquitto_tls_set(client_, settings_.caFile.c_str(), nullptr,
                          settings_.certFile.empty() ? nullptr : settings_.certFile.c_str(),
                          settings_.keyFile.empty() ? nullptr : settings_.keyFile.c_str(), nullptr);
    if (tls != MOSQ_ERR_SUCCESS) {
      problem = "--mqtt-cafile " + settings_.caFile + ": TLS cannot be set up with it (" +
                mosquitto_strerror(tls) + ")";
      return false;
    }
  }
  mosquitto_connect_callback_set(client_, onConnect);
  mosquitto_disconnect_callback_set(client_, onDisconnect);
  mosquitto_message_callback_set(client_, onMessage);
  mosquitto_log_callback_set(client_, onLibraryLog);
  service_.results.onChange([this](const std::string& tuner, const LastResults::Result& result) {
    publishState(tuner, result);
  });
  try {
    for (int i = 0; i < kMqttWorkers; ++i) workers_.emplace_back([this] { work(); });
    network_ = std::thread([this] { serve(); });
  } catch (const std::system_error& failure) {
    problem = std::string("cannot start the MQTT client's threads: ") + failure.what();
    return false;
  }
  return true;
}

void MqttBridge::onLibraryLog(mosquitto*, void* self, int level, const char* text) {
  if ((level & MOSQ_LOG_ERR) == 0) return;
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  std::lock_guard<std::mutex> held(bridge.lock_);
  bridge.libraryError_ = text;
}

void MqttBridge::failed(const std::string& why) {
  std::string said;
  {
    std::lock_guard<std::mutex> held(lock_);
    said.swap(libraryError_);
  }
  brokerLog_.log("cannot reach " + where() + ": " + why + (said.empty() ? "" : " (" + said + ")") +
                 "; trying again, at most a minute apart");
}

// A try: the first connect, or a new one (which closes what the last left open). Never waits
// on the network: the connection is made by the loop that follows.
void MqttBridge::tryConnecting(bool& first) {
  const int rc =
      first ? mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port, kKeepAlive)
            : mosquitto_reconnect_async(client_);
  first = false;
  if (rc != MOSQ_ERR_SUCCESS) {
    failed(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
  }
}

void MqttBridge::serve() {
  bool first = true;
  auto delay = std::chrono::seconds(1);
  auto tryAt = Clock::now();
  auto tried = Clock::now();
  bool told = false;  // that this try got no answer
  for (;;) {
    const auto now = Clock::now();
    const bool open = mosquitto_socket(client_) >= 0;
    // A try nothing answers (a firewall that drops packets) is given up, and the next starts
    // afresh, closing it.
    const bool unanswered = open && !connected_ && now - tried >= kConnectWait;
    if (unanswered && !told) {
      failed("no answer within " + std::to_string(kConnectWait.count()) + " s");
      told = true;
    }
    {
      std::unique_lock<std::mutex> held(lock_);
      if (ending_) break;
      if (!connected_ && (!open || unanswered) && now < tryAt) {
        changed_.wait_until(held, tryAt);
        continue;
      }
    }
    if (!connected_ && (!open || unanswered)) {
      tryConnecting(first);
      tried = Clock::now();
      told = false;
      tryAt = tried + delay;
      delay = std::min(delay * 2, std::chrono::seconds(kMostBetweenTries));
    }
    const int rc = mosquitto_loop(client_, kLoopMs, 1);
    if (connected_) {
      delay = std::chrono::seconds(1);
    } else if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && rc != MOSQ_ERR_CONN_REFUSED) {
      failed(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
    }
  }
  if (connected_) {
    const std::string offline = "offline";
    mosquitto_publish(client_, nullptr, availabilityTopic(settings_.names).c_str(),
                      static_cast<int>(offline.size()), offline.data(), 1, true);
    mosquitto_disconnect(client_);
    for (int i = 0; i < 5 && mosquitto_loop(client_, kLoopMs, 1) == MOSQ_ERR_SUCCESS; ++i) {
    }
  }
  std::lock_guard<std::mutex> held(lock_);
  networkEnded_ = true;
  changed_.notify_all();
}

void MqttBridge::onConnect(mosquitto*, void* self, int code) {
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  if (code != 0) {
    bridge.brokerLog_.log(bridge.where() + " refused tunerd: " + mosquitto_connack_string(code) +
                          " (check --mqtt-user and the password file); trying again, at most a "
                          "minute apart");
    return;
  }
  bridge.connected_ = true;
  bridge.brokerLog_.log("connected to " + bridge.where() + " as node " +
                        bridge.settings_.names.node);
  for (const std::string& topic : subscriptions(bridge.settings_.names)) {
    mosquitto_subscribe(bridge.client_, nullptr, topic.c_str(), 1);
  }
  bridge.publishAll();
}

void MqttBridge::onDisconnect(mosquitto*, void* self, int code) {
  MqttBridge& bridge = *static_cast<MqttBridge*>(self);
  const bool was = bridge.connected_.exchange(false);
  if (code != 0 && was) {
    bridge.brokerLog_.log("lost " + bridge.where() + "; connecting again, at most a minute apart");
  }
}

void MqttBridge::reload() {
  logLine("SIGHUP: the tuner file is read again for MQTT discovery");
  publishAll();
}

void MqttBridge::publish(const std::string& topic, const std::string& payload, bool retain) {
  // Queued for the connection's thread; while the broker is away, dropped (all is published
  // again on reconnection).
  mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                    payload.data(), 1, retain);
}

void MqttBridge::publishState(const std::string& tuner, const LastResults::Result& result) {
  const std::string id = topicSafeId(tuner);
  const std::string state = sensorState(result.sentence);
  {
    std::lock_guard<std::mutex> held(lock_);
    sensorShown_[id] = state;
  }
  publish(resultTopic(settings_.names, id), state, true);
  if (result.channel.empty()) return;
  publish(channelStateTopic(settings_.names, id), result.channel, true);
  // The favourite's state is the name of the channel last tuned, when it has one; "None" (Home
  // Assistant's unknown) when it has none, so that no favourite stays shown after another channel.
  bool named = false;
  std::string favourite = "None";
  for (const tuner::ChannelEntry& entry : tunerChannels(service_, tuner)) {
    named = named || !entry.name.empty();
    if (!entry.name.empty() && tuner::channelText(entry.channel) == result.channel) {
      favourite = entry.name;
      break;
    }
  }
  if (named) publish(favouriteStateTopic(settings_.names, id), favourite, true);
}

}  // namespace tunerd
