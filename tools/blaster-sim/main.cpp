// blaster-sim: an infrared blaster on a pseudo-terminal. It prints the terminal's path, answers
// the version query with ten bytes and each key packet with one acknowledgement byte, and can
// trace every frame it receives and misbehave on purpose.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blaster/blaster_protocol.h"

namespace {

namespace protocol = tuner::protocol;
using Clock = std::chrono::steady_clock;

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

struct Options {
  std::string link;
  std::string trace;
  bool silent = false;
  int versionBytes = static_cast<int>(protocol::kVersionReplyLength);
  bool noAck = false;
  int ackDelayMs = 0;
  long stopAfter = -1;
  bool hangUpOnKey = false;
  int boxUeitype = -1;  // the code set a simulated set-top box answers to; -1: no box
  int boxUeicode = -1;
};

bool parseOptions(int argc, char** argv, Options& options) {
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
      options.versionBytes = std::atoi(argv[++i]);
    } else if (arg == "--no-ack") {
      options.noAck = true;
    } else if (arg == "--ack-delay" && hasValue) {
      options.ackDelayMs = std::atoi(argv[++i]);
    } else if (arg == "--hang-up-on-key") {
      options.hangUpOnKey = true;
    } else if (arg == "--stop-after" && hasValue) {
      options.stopAfter = std::atol(argv[++i]);
    } else if (arg == "--box" && hasValue) {
      if (std::sscanf(argv[++i], "%d,%d", &options.boxUeitype, &options.boxUeicode) != 2) {
        return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

// The line settings of the terminal as the plug-in left them.
std::string lineSettings(int slave) {
  termios tio{};
  if (tcgetattr(slave, &tio) != 0) return "line=unknown";
  const speed_t speed = cfgetospeed(&tio);
  const struct {
    speed_t code;
    int baud;
  } kSpeeds[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                 {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
  int baud = 0;
  for (const auto& s : kSpeeds) {
    if (s.code == speed) baud = s.baud;
  }
  const tcflag_t size = tio.c_cflag & CSIZE;
  const int data = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  const char parity = (tio.c_cflag & PARENB) == 0 ? 'n' : (tio.c_cflag & PARODD) ? 'o' : 'e';
  const int stop = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
  std::string flow;
  if ((tio.c_cflag & CRTSCTS) != 0) flow += "rtscts";
  if ((tio.c_iflag & (IXON | IXOFF)) != 0) flow += flow.empty() ? "xonxoff" : "+xonxoff";
  if (flow.empty()) flow = "none";
  char text[96];
  std::snprintf(text, sizeof text, "speed=%d data=%d parity=%c stop=%d flow=%s", baud, data, parity,
                stop, flow.c_str());
  return text;
}

class Blaster {
 public:
  Blaster(const Options& options, int master, int slave, std::FILE* trace)
      : options_(options), master_(master), slave_(slave), trace_(trace) {}

  void receive(const std::uint8_t* data, std::size_t count) {
    const double at = now();
    for (std::size_t i = 0; i < count; ++i) take(data[i], at);
    flushJunk();
  }

  bool hungUp() const { return hungUp_; }

  // Milliseconds until a delayed acknowledgement is due, or -1.
  int msUntilDue() const {
    if (!ackDue_) return -1;
    const double left = ackAt_ - now();
    return left <= 0 ? 0 : static_cast<int>(left) + 1;
  }

  void sendDue() {
    if (ackDue_ && now() >= ackAt_) {
      ackDue_ = false;
      acknowledge();
    }
  }

 private:
  // On the machine's monotonic clock, so that the traces of several simulators, and the times
  // a test takes of its own, line up.
  double now() const {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
  }

  void traceLine(double at, const std::string& kind, const std::vector<std::uint8_t>& bytes,
                 const std::string& detail) {
    if (trace_ == nullptr) return;
    std::fprintf(trace_, "%.3f %s %s%s%s\n", at, kind.c_str(), protocol::hexText(bytes).c_str(),
                 detail.empty() ? "" : " ", detail.c_str());
    std::fflush(trace_);
  }

  void take(std::uint8_t byte, double at) {
    if (!packet_.empty()) {
      packet_.push_back(byte);
      const std::size_t n = packet_.size();
      if (n <= protocol::kHeaderLength && byte != protocol::kHeader[n - 1]) {
        traceLine(packetAt_, "junk", packet_, "");
        packet_.clear();
      } else if (n > protocol::kHeaderLength && n == protocol::kHeaderLength + 1u + packet_[4]) {
        packetDone();
      }
      return;
    }
    if (byte == protocol::kHeader[0]) {
      flushJunk();
      packet_.push_back(byte);
      packetAt_ = at;
      return;
    }
    if (byte == 0x00) {
      flushJunk();
      if (awaitingTrailer_) {
        awaitingTrailer_ = false;
        traceLine(at, "trailer", {byte}, "");
        answer();
      } else {
        traceLine(at, "lead", {byte}, "");
      }
      return;
    }
    if (junk_.empty()) junkAt_ = at;
    junk_.push_back(byte);
  }

  void flushJunk() {
    if (!junk_.empty()) traceLine(junkAt_, "junk", junk_, "");
    junk_.clear();
  }

  void packetDone() {
    const auto decoded = protocol::decodePacket(packet_);
    if (!decoded) {
      traceLine(packetAt_, "packet", packet_, "unknown");
    } else if (decoded->opcode == protocol::kOpVersionQuery) {
      traceLine(packetAt_, "packet", packet_, "version-query " + lineSettings(slave_));
      pending_ = Pending::kVersion;
      awaitingTrailer_ = true;
    } else {
      const int ueitype = decoded->codeSetHigh >> 4;
      const int ueicode = ((decoded->codeSetHigh & 0x0F) << 8) | decoded->codeSetLow;
      char detail[96];
      std::snprintf(detail, sizeof detail, "key codeset=%02x%02x ueitype=%d ueicode=%d key=%d",
                    decoded->codeSetHigh, decoded->codeSetLow, ueitype, ueicode, decoded->key);
      traceLine(packetAt_, "packet", packet_, detail);
      if (options_.hangUpOnKey) hungUp_ = true;
      keyUeitype_ = ueitype;
      keyUeicode_ = ueicode;
      key_ = decoded->key;
      pending_ = Pending::kAck;
      awaitingTrailer_ = true;
    }
    packet_.clear();
  }

  bool answering() const {
    return !options_.silent && (options_.stopAfter < 0 || keysAcked_ < options_.stopAfter);
  }

  void answer() {
    const Pending pending = pending_;
    pending_ = Pending::kNone;
    if (!answering()) return;
    if (pending == Pending::kVersion) {
      static const char kVersion[] = "BLASTERSIM";
      std::vector<std::uint8_t> bytes;
      for (int i = 0; i < options_.versionBytes; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(kVersion[i % 10]));
      }
      reply(bytes, "version-reply");
    } else if (pending == Pending::kAck && !options_.noAck) {
      ++keysAcked_;
      if (options_.ackDelayMs > 0) {
        ackDue_ = true;
        ackAt_ = now() + options_.ackDelayMs;
      } else {
        acknowledge();
      }
    }
  }

  // The key's acknowledgement; a box of the key's code set reacts to it.
  void acknowledge() {
    reply({0x06}, "ack");
    if (keyUeitype_ == options_.boxUeitype && keyUeicode_ == options_.boxUeicode) {
      char detail[64];
      std::snprintf(detail, sizeof detail, "reacted ueitype=%d ueicode=%d key=%d", keyUeitype_,
                    keyUeicode_, key_);
      traceLine(now(), "box", {}, detail);
    }
  }

  void reply(const std::vector<std::uint8_t>& bytes, const std::string& kind) {
    traceLine(now(), "reply", bytes, kind);
    std::size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + written, bytes.size() - written);
      if (n <= 0 && errno != EINTR && errno != EAGAIN) return;
      if (n > 0) written += static_cast<std::size_t>(n);
    }
  }

  enum class Pending { kNone, kVersion, kAck };

  const Options& options_;
  int master_;
  int slave_;
  std::FILE* trace_;
  std::vector<std::uint8_t> packet_;
  double packetAt_ = 0;
  std::vector<std::uint8_t> junk_;
  double junkAt_ = 0;
  bool awaitingTrailer_ = false;
  Pending pending_ = Pending::kNone;
  long keysAcked_ = 0;
  bool hungUp_ = false;
  bool ackDue_ = false;
  double ackAt_ = 0;
  int keyUeitype_ = -1;
  int keyUeicode_ = -1;
  int key_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
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

  Blaster blaster(options, master, slave, trace);
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
