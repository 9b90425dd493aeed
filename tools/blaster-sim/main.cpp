// blaster-sim: an infrared blaster on a pseudo-terminal. It prints the terminal's path and hands
// what arrives to the simulated blaster, which answers the version query with ten bytes and each
// key packet with one acknowledgement byte, and can trace every frame and misbehave on purpose.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blaster/blaster_protocol.h"
#include "common/whole_number.h"
#include "simulated_blaster.h"

namespace {

namespace protocol = tuner::protocol;

const char kUsage[] =
    "usage: blaster-sim --help | --version\n"
    "       blaster-sim [--link PATH] [--trace FILE] [--silent] [--version-bytes N]\n"
    "                   [--no-ack] [--ack-delay MS] [--stop-after N] [--hang-up-on-key]\n"
    "                   [--box TYPE,CODE]\n"
    "  --link PATH        also make PATH a symbolic link to the terminal\n"
    "  --trace FILE       write one line per frame received and reply sent, each with its\n"
    "                     time in ms on the monotonic clock\n"
    "  --silent           answer nothing\n"
    "  --version-bytes N  answer the version query with N bytes (default 10)\n"
    "  --no-ack           acknowledge no key\n"
    "  --ack-delay MS     acknowledge each key MS milliseconds late\n"
    "  --stop-after N     answer nothing more after acknowledging N keys\n"
    "  --hang-up-on-key   hang up (as an unplugged adapter) when the first key arrives\n"
    "  --box TYPE,CODE    a set-top box that reacts to code set TYPE,CODE: each acknowledged\n"
    "                     key of that code set adds a line \"box reacted\" to the trace\n";

volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

bool parseOptions(int argc, char** argv, SimulatorOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--link" && hasValue) {
      options.link = argv[++i];
    } else if (arg == "--trace" && hasValue) {
      options.trace = argv[++i];
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--version-bytes" && hasValue) {
      if (!tuner::parseWholeNumber(argv[++i], 0, 64, options.versionBytes)) return false;
    } else if (arg == "--no-ack") {
      options.noAck = true;
    } else if (arg == "--ack-delay" && hasValue) {
      if (!tuner::parseWholeNumber(argv[++i], 0, 60000, options.ackDelayMs)) return false;
    } else if (arg == "--hang-up-on-key") {
      options.hangUpOnKey = true;
    } else if (arg == "--stop-after" && hasValue) {
      int keys = 0;
      if (!tuner::parseWholeNumber(argv[++i], 0, INT_MAX, keys)) return false;
      options.stopAfter = keys;
    } else if (arg == "--box" && hasValue) {
      if (!tuner::protocol::parseCodeSet(argv[++i], options.boxUeitype, options.boxUeicode)) {
        return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  SimulatorOptions options;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("blaster-sim %s\n", TUNER_VERSION);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!parseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("blaster-sim: pseudo-terminal");
    return 1;
  }
  const std::string slavePath = ptsname(master);
  // Holding the terminal open keeps it alive between the plug-in's opens of it.
  const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  if (slave < 0 || tcgetattr(slave, &tio) != 0) {
    std::perror("blaster-sim: terminal");
    return 1;
  }
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  if (!options.link.empty()) {
    unlink(options.link.c_str());
    if (symlink(slavePath.c_str(), options.link.c_str()) != 0) {
      std::perror("blaster-sim: --link");
      return 1;
    }
  }
  std::FILE* trace = nullptr;
  if (!options.trace.empty()) {
    trace = std::fopen(options.trace.c_str(), "w");
    if (trace == nullptr) {
      std::perror("blaster-sim: --trace");
      return 1;
    }
  }
  std::signal(SIGTERM, requestStop);
  std::signal(SIGINT, requestStop);
  std::printf("%s\n", slavePath.c_str());
  std::fflush(stdout);

  SimulatedBlaster blaster(options, master, slave, trace);
  std::uint8_t buffer[256];
  while (!stopRequested) {
    pollfd waiting{master, POLLIN, 0};
    const int due = blaster.msUntilDue();
    const int ready = poll(&waiting, 1, due < 0 || due > 100 ? 100 : due);
    if (ready > 0 && (waiting.revents & POLLIN) != 0) {
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) blaster.receive(buffer, static_cast<std::size_t>(n));
    }
    blaster.sendDue();
    if (blaster.hungUp()) break;
  }
  // Both ends close: the plug-in's side of the terminal sees the hang-up.
  close(master);
  close(slave);
  if (!options.link.empty()) unlink(options.link.c_str());
  if (trace != nullptr) std::fclose(trace);
  return 0;
}
