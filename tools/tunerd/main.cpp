// tunerd: the service that owns the blasters and serves the LIRC daemon's socket protocol, so
// that irsend and every LIRC client change channels through it. Each line of the tuner file is a
// remote named by its tuner name; the file is read afresh for each request.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "blaster/serial_services.h"
#include "connections.h"
#include "listeners.h"
#include "plugin/plugin_environment.h"
#include "refusals.h"
#include "service_log.h"

namespace {

const char kUsage[] =
    "usage: tunerd [--socket PATH] [--listen [ADDR:]PORT [--allow NETWORK[,NETWORK...]]]\n"
    "       tunerd --help | --version\n"
    "Serves the LIRC daemon's socket protocol for the blasters of the tuner file: each tuner\n"
    "line is a remote named by its tuner name, whose buttons KEY_0 to KEY_9 press the digit keys.\n"
    "  --socket PATH   the Unix socket (default /run/tunerdll/lircd, mode 0660, group tunerdll)\n"
    "  --listen [ADDR:]PORT\n"
    "                  also serve TCP on PORT (lircd's is 8765), on 127.0.0.1 unless ADDR is\n"
    "                  given; an address other than loopback needs --allow. Every user of an\n"
    "                  allowed machine may connect, not only the group tunerdll\n"
    "  --allow NETWORK[,NETWORK...]\n"
    "                  the TCP clients served, as ADDR or ADDR/BITS; others are refused and\n"
    "                  logged (without --allow, loopback clients only); needs --listen\n"
    "Requests: SEND_ONCE REMOTE BUTTON... [COUNT] (10 keys at most), LIST [REMOTE [BUTTON]],\n"
    "VERSION, and TUNE REMOTE CHANNEL (the whole channel of up to 8 digits, as MacroTune sends\n"
    "it). One line per request on standard error; SIGTERM ends tunerd after the key in\n"
    "progress; SIGHUP is logged (the files are read afresh for each request).\n"
    "Exit status: 0 stopped by SIGTERM or SIGINT, 2 usage error, 1 it could not listen.\n";

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

// Accepting stops for a second when the process has no descriptors left, rather than spin.
using tunerd::Clock;
constexpr auto kAcceptPause = std::chrono::seconds(1);

bool outOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
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
  if (!options.allowed.empty() && options.listen.empty()) {
    std::cerr << "tunerd: --allow names TCP clients: it needs --listen\n";
    return 2;
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
  int lock = -1;
  const int local = tunerd::listenUnix(options.socketPath, lock, problem);
  if (local < 0) {
    std::cerr << "tunerd: " << problem << "\n";
    return 1;
  }
  std::vector<int> listeners{local};
  if (!options.listen.empty()) {
    const int tcp = tunerd::listenTcp(tcpAddress, tcpPort, problem);
    if (tcp < 0) {
      std::cerr << "tunerd: " << problem << "\n";
      unlink(options.socketPath.c_str());
      return 1;
    }
    listeners.push_back(tcp);
  }
  for (int fd : listeners) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::cerr << "tunerd: cannot make a pipe: " << std::strerror(errno) << "\n";
    unlink(options.socketPath.c_str());
    return 1;
  }
  wakeWrite = wake[1];
  struct sigaction handler {};
  handler.sa_handler = onSignal;
  sigaction(SIGTERM, &handler, nullptr);
  sigaction(SIGINT, &handler, nullptr);
  sigaction(SIGHUP, &handler, nullptr);
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
    tunerd::Connections connections(service, [] { wakeMain('r'); });
    tunerd::Refusals refusals;
    tunerd::ThrottledLog refusalLog;
    tunerd::ThrottledLog acceptLog;
    auto acceptFrom = Clock::now();
    bool portsOpen = false;
    tunerd::logLine("serving " + options.socketPath +
                    (options.listen.empty() ? "" : " and TCP " + options.listen) + " for " +
                    service.configPath);
    while (!stopping) {
      std::vector<pollfd> waiting{pollfd{wake[0], POLLIN, 0}};
      const bool accepting = Clock::now() >= acceptFrom;
      if (accepting) {
        for (int fd : listeners) waiting.push_back(pollfd{fd, POLLIN, 0});
      }
      int timeout = refusals.watch(waiting);
      const auto sooner = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
      if (portsOpen) sooner(static_cast<int>(tunerd::kPortIdle.count()) / 2);
      if (!accepting) sooner(500);
      if (poll(waiting.data(), waiting.size(), timeout) < 0 && errno != EINTR) break;
      char bytes[64];
      for (ssize_t n; (n = read(wake[0], bytes, sizeof bytes)) > 0;) {
        for (ssize_t i = 0; i < n; ++i) {
          if (bytes[i] == 'T') stopping = true;
          if (bytes[i] == 'H') {
            tunerd::logLine(
                "SIGHUP: nothing to reload, the tuner file, recipes and buttons are "
                "read afresh for each request");
          }
        }
      }
      connections.reap();
      refusals.serve(waiting);
      for (std::size_t i = 1; accepting && i <= listeners.size(); ++i) {
        if ((waiting[i].revents & POLLIN) == 0) continue;
        const bool tcp = waiting[i].fd != local;
        for (int accepted = 0; accepted < 64; ++accepted) {
          const int fd = accept4(waiting[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
          if (fd < 0) {
            if (outOfDescriptors(errno)) {
              acceptLog.log(std::string("cannot accept clients: ") + std::strerror(errno) +
                            "; trying again in 1 s");
              acceptFrom = Clock::now() + kAcceptPause;
            }
            break;
          }
          const tunerd::Peer peer = tunerd::peerOf(fd, tcp);
          if (tcp && !tunerd::mayServe(static_cast<std::uint32_t>(peer.user), options.allowed)) {
            refusalLog.log("refused " + peer.shown + ": not a client --allow names");
            close(fd);
            continue;
          }
          std::string refusal;
          if (!connections.serve(fd, peer, refusal)) {
            refusalLog.log("refused " + peer.shown + ": " + refusal);
            refusals.add(fd, peer.user, refusal);
          }
        }
      }
      portsOpen = blasters.closeIdlePorts();
    }
    tunerd::logLine("stopping after the keys in progress");
    for (int fd : listeners) close(fd);
    connections.joinAll();
  }
  unlink(options.socketPath.c_str());
  tunerd::logLine("stopped");
  return 0;
}
