// tunerd: the service that owns the blasters and serves the LIRC daemon's socket protocol, so
// that irsend and every LIRC client change channels through it. Each line of the tuner file is a
// remote named by its tuner name; the file is read afresh for each request.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "accept_loop.h"
#include "background.h"
#include "blaster/serial_services.h"
#include "button_names.h"
#include "code_searches.h"
#include "connections.h"
#include "listeners.h"
#include "mqtt_bridge.h"
#include "options.h"
#include "plugin/plugin_environment.h"
#include "secret_file.h"
#include "service_log.h"
#include "web_site.h"

namespace {

std::atomic<bool> stopping{false};
int wakeWrite = -1;  // the wake pipe: signals and ending connections write a byte to it

void wakeMain(char byte) {
  if (write(wakeWrite, &byte, 1) < 0) {
    // Full: the main loop has bytes to read already.
  }
}

void onSignal(int signal) {
  const int saved = errno;
  wakeMain(signal == SIGHUP ? 'H' : 'T');
  errno = saved;
}

// The broker and the login of --mqtt; the password is the first line of its file.
bool mqttSettings(const tunerd::Options& options, tunerd::MqttSettings& mqtt,
                  std::string& problem) {
  mqtt.host = options.mqttHost;
  mqtt.port = options.mqttPort;
  mqtt.user = options.mqttUser;
  mqtt.names.base = options.mqttBase;
  mqtt.names.discovery = options.mqttDiscoveryPrefix;
  mqtt.names.node = options.mqttNode;
  if (mqtt.names.node.empty()) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    mqtt.names.node = tunerd::nodeOfHost(host);
  }
  mqtt.caFile = options.mqttCaFile;
  mqtt.certFile = options.mqttCertFile;
  mqtt.keyFile = options.mqttKeyFile;
  if (options.mqttPasswordFile.empty()) return true;
  if (!tunerd::readSecretFile("--mqtt-password-file", options.mqttPasswordFile, mqtt.password,
                              problem)) {
    return false;
  }
  tunerd::Address address;
  const bool nearby = mqtt.host == "localhost" ||
                      (tunerd::parseAddress(mqtt.host, address) && tunerd::isLoopback(address));
  if (mqtt.caFile.empty() && !nearby) {
    tunerd::logLine("warning: the MQTT password goes to " + mqtt.host +
                    " unencrypted: give --mqtt-cafile to talk TLS to the broker");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tunerd::Options options;
  std::string problem;
  if (!tunerd::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, problem)) {
    std::cerr << "tunerd: " << problem << " (tunerd --help tells the options)\n";
    return 2;
  }
  if (options.help) {
    std::cout << tunerd::usage();
    return 0;
  }
  if (options.version) {
    std::cout << "tunerd " << TUNER_VERSION << "\n";
    return 0;
  }
  // Signals are taken from before the socket appears: a client or a service manager that sees
  // it may signal at once.
  int wake[2] = {-1, -1};
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::cerr << "tunerd: cannot make a pipe: " << std::strerror(errno) << "\n";
    return 1;
  }
  wakeWrite = wake[1];
  struct sigaction handler {};
  handler.sa_handler = onSignal;
  sigaction(SIGTERM, &handler, nullptr);
  sigaction(SIGINT, &handler, nullptr);
  sigaction(SIGHUP, &handler, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  tunerd::Listening listening;
  listening.allowed = options.allowed;
  int lock = -1;
  listening.local = tunerd::listenUnix(options.socketPath, lock, problem);
  if (listening.local < 0) {
    std::cerr << "tunerd: " << problem << "\n";
    return 1;
  }
  for (auto [given, address, port, fd] :
       {std::tuple(&options.listen, options.tcpAddress, options.tcpPort, &listening.tcp),
        std::tuple(&options.http, options.httpAddress, options.httpPort, &listening.web)}) {
    if (given->empty()) continue;
    *fd = tunerd::listenTcp(address, port, problem);
    if (*fd < 0) {
      std::cerr << "tunerd: " << problem << "\n";
      unlink(options.socketPath.c_str());
      return 1;
    }
  }

  tunerd::BlasterPool blasters(tuner::pluginLog(), tuner::platformSerial());
  tunerd::LastResults results;
  tunerd::Service service{tuner::pluginLog(),
                          tuner::tunerConfigPath(),
                          tuner::tuningRecipesPath(),
                          tuner::buttonsFileBeside(tuner::tunerConfigPath()),
                          tuner::channelMapPath(),
                          blasters,
                          stopping,
                          results};
  tunerd::MqttSettings mqtt;
  std::string token;
  tunerd::Background background;
  if ((!options.mqtt.empty() && !mqttSettings(options, mqtt, problem)) ||
      (!options.httpTokenFile.empty() &&
       !tunerd::readSecretFile("--http-token-file", options.httpTokenFile, token, problem)) ||
      !background.start(problem)) {
    std::cerr << "tunerd: " << problem << "\n";
    unlink(options.socketPath.c_str());
    return 1;
  }
  {
    std::unique_ptr<tunerd::MqttBridge> bridge;
    if (!options.mqtt.empty()) {
      bridge = std::make_unique<tunerd::MqttBridge>(service, mqtt);
      if (!bridge->start(problem)) {
        std::cerr << "tunerd: " << problem << "\n";
        unlink(options.socketPath.c_str());
        return 1;
      }
    }
    tunerd::CodeSearches searches(service);
    tunerd::WebSite site(service, searches, background, options.httpNames, token);
    tunerd::Connections connections(service, &site, [] { wakeMain('r'); });
    tunerd::logLine("serving " + options.socketPath +
                    (options.listen.empty() ? "" : " and TCP " + options.listen) +
                    (options.http.empty() ? "" : " and the web page on " + options.http) +
                    (options.mqtt.empty() ? "" : " and MQTT at " + options.mqtt) + " for " +
                    service.configPath);
    tunerd::acceptUntilStopped(listening, wake[0], connections, blasters, stopping, [&] {
      if (bridge) bridge->reload();
      return bridge != nullptr;
    });
    tunerd::logLine("stopping after the keys in progress");
    for (int fd : {listening.local, listening.tcp, listening.web}) {
      if (fd >= 0) close(fd);
    }
    connections.joinAll();
  }
  unlink(options.socketPath.c_str());
  tunerd::logLine("stopped");
  return 0;
}
