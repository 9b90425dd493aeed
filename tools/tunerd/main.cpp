// tunerd: the service that owns the blasters and serves the LIRC daemon's socket protocol, so
// that irsend and every LIRC client change channels through it. Each line of the tuner file is a
// remote named by its tuner name; the file is read afresh for each request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "blaster/serial_services.h"
#include "connections.h"
#include "listeners.h"
#include "plugin/plugin_environment.h"

namespace {

const char kUsage[] =
    "usage: tunerd [--socket PATH] [--listen [ADDR:]PORT [--allow NETWORK[,NETWORK...]]]\n"
    "       tunerd --help | --version\n"
    "Serves the LIRC daemon's socket protocol for the blasters of the tuner file: each tuner\n"
    "line is a remote named by its tuner name, whose buttons KEY_0 to KEY_9 press the digit keys.\n"
    "  --socket PATH   the Unix socket (default /run/tunerdll/lircd, mode 0660, group tunerdll)\n"
    "  --listen [ADDR:]PORT\n"
    "                  also serve TCP on PORT (lircd's is 8765), on 127.0.0.1 unless ADDR is\n"
    "                  given; an address other than loopback needs --allow\n"
    "  --allow NETWORK[,NETWORK...]\n"
    "                  the TCP clients served, as ADDR or ADDR/BITS; others are refused and\n"
    "                  logged (without --allow, loopback clients only)\n"
    "Requests: SEND_ONCE REMOTE BUTTON... [COUNT], LIST [REMOTE], VERSION, and TUNE REMOTE\n"
    "CHANNEL (the whole channel, as MacroTune sends it). One line per request on standard\n"
    "error; SIGTERM ends tunerd after the key in progress.\n"
    "Exit status: 0 stopped by SIGTERM or SIGINT, 2 usage error, 1 it could not listen.\n";

std::atomic<bool> stopping{false};
void requestStop(int) { stopping = true; }

struct Options {
  std::string socketPath = "/run/tunerdll/lircd";
  std::string listen;
  std::vector<tunerd::Network> allowed;
  bool help = false;
  bool version = false;
};

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& problem) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--socket" && hasValue) {
      options.socketPath = args[++i];
    } else if (arg == "--listen" && hasValue) {
      options.listen = args[++i];
    } else if (arg == "--allow" && hasValue) {
      std::string list = args[++i];
      for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        tunerd::Network network;
        if (!tunerd::parseNetwork(list.substr(start, comma - start), network)) {
          problem = "--allow: \"" + list.substr(start, comma - start) +
                    "\" is not an IPv4 address or network (ADDR or ADDR/BITS)";
          return false;
        }
        options.allowed.push_back(network);
        start = comma + 1;
      }
    } else {
      problem = hasValue || arg.compare(0, 2, "--") != 0 ? "unknown argument " + arg
                                                         : arg + " needs a value";
      return false;
    }
  }
  return true;
}

std::string peerOf(int fd) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
      peer.sin_family != AF_INET) {
    return "local client";
  }
  return tunerd::addressText(ntohl(peer.sin_addr.s_addr)) + ":" +
         std::to_string(ntohs(peer.sin_port));
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string problem;
  if (!parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, problem)) {
    std::cerr << "tunerd: " << problem << " (tunerd --help tells the options)\n";
    return 2;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << "tunerd " << TUNER_VERSION << "\n";
    return 0;
  }
  std::uint32_t tcpAddress = 0;
  int tcpPort = 0;
  if (!options.listen.empty()) {
    if (!tunerd::parseListen(options.listen, tcpAddress, tcpPort)) {
      std::cerr << "tunerd: --listen: \"" << options.listen << "\" is not [ADDR:]PORT\n";
      return 2;
    }
    if (!tunerd::isLoopback(tcpAddress) && options.allowed.empty()) {
      std::cerr << "tunerd: --listen on " << tunerd::addressText(tcpAddress)
                << " serves other machines: name them with --allow\n";
      return 2;
    }
  }
  std::vector<int> listeners;
  const int local = tunerd::listenUnix(options.socketPath, problem);
  if (local < 0) {
    std::cerr << "tunerd: " << problem << "\n";
    return 1;
  }
  listeners.push_back(local);
  if (!options.listen.empty()) {
    const int tcp = tunerd::listenTcp(tcpAddress, tcpPort, problem);
    if (tcp < 0) {
      std::cerr << "tunerd: " << problem << "\n";
      unlink(options.socketPath.c_str());
      return 1;
    }
    listeners.push_back(tcp);
  }
  struct sigaction stop {};
  stop.sa_handler = requestStop;
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  tunerd::BlasterPool blasters(tuner::pluginLog(), tuner::platformSerial());
  const tuner::DiagnosticLog trace = tuner::pluginLog();
  tunerd::Service service{trace,
                          tuner::tunerConfigPath(),
                          tuner::tuningRecipesPath(),
                          std::string(tuner::configDirectory()) + "buttons.txt",
                          blasters,
                          stopping};
  {
    tunerd::Connections connections(service);
    tunerd::logLine("serving " + options.socketPath +
                    (options.listen.empty() ? "" : " and TCP " + options.listen) + " for " +
                    service.configPath);
    while (!stopping) {
      std::vector<pollfd> waiting;
      for (int fd : listeners) waiting.push_back(pollfd{fd, POLLIN, 0});
      const int ready = poll(waiting.data(), waiting.size(), 200);
      for (std::size_t i = 0; ready > 0 && i < waiting.size(); ++i) {
        if ((waiting[i].revents & POLLIN) == 0) continue;
        const int fd = accept4(waiting[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const std::string peer = peerOf(fd);
        sockaddr_in address{};
        socklen_t length = sizeof address;
        if (waiting[i].fd != local &&
            (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
             !tunerd::mayServe(ntohl(address.sin_addr.s_addr), options.allowed))) {
          tunerd::logLine("refused " + peer + ": not a client --allow names");
          close(fd);
          continue;
        }
        connections.serve(fd, peer);
      }
      connections.reap();
      blasters.closeIdlePorts();
    }
    tunerd::logLine("stopping after the keys in progress");
    for (int fd : listeners) close(fd);
    connections.joinAll();
  }
  unlink(options.socketPath.c_str());
  tunerd::logLine("stopped");
  return 0;
}
