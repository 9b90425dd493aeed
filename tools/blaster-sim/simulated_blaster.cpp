#include "simulated_blaster.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "blaster/termios_settings.h"

namespace protocol = tuner::protocol;

namespace {

// On the machine's monotonic clock, so that the traces of several simulators, and the times a
// test takes of its own, line up.
double now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// The line settings of the terminal as the plug-in left them.
std::string lineSettingsText(int slave) {
  termios tio{};
  if (tcgetattr(slave, &tio) != 0) return "line=unknown";
  const tcflag_t size = tio.c_cflag & CSIZE;
  const int dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  const char parity = (tio.c_cflag & PARENB) == 0 ? 'n' : (tio.c_cflag & PARODD) != 0 ? 'o' : 'e';
  std::string flow;
  if ((tio.c_cflag & CRTSCTS) != 0) flow += "rtscts";
  if ((tio.c_iflag & (IXON | IXOFF)) != 0) flow += flow.empty() ? "xonxoff" : "+xonxoff";
  if (flow.empty()) flow = "none";
  char text[96];
  std::snprintf(text, sizeof text, "speed=%u data=%d parity=%c stop=%d flow=%s",
                static_cast<unsigned>(tuner::baudFor(cfgetospeed(&tio))), dataBits, parity,
                (tio.c_cflag & CSTOPB) != 0 ? 2 : 1, flow.c_str());
  return text;
}

}  // namespace

void SimulatedBlaster::receive(const std::uint8_t* data, std::size_t count) {
  for (const protocol::Frame& frame : reader_.take(data, count, now())) {
    switch (frame.kind) {
      case protocol::Frame::kLead:
        traceLine(frame.at, "lead", frame.bytes, "");
        break;
      case protocol::Frame::kJunk:
        traceLine(frame.at, "junk", frame.bytes, "");
        break;
      case protocol::Frame::kPacket:
        packet(frame);
        break;
      case protocol::Frame::kTrailer:
        traceLine(frame.at, "trailer", frame.bytes, "");
        answer(*frame.packet);
        break;
    }
  }
}

int SimulatedBlaster::msUntilDue() const {
  if (!ackDue_) return -1;
  const double left = ackAt_ - now();
  return left <= 0 ? 0 : static_cast<int>(left) + 1;
}

void SimulatedBlaster::sendDue() {
  if (ackDue_ && now() >= ackAt_) {
    ackDue_ = false;
    acknowledge();
  }
}

void SimulatedBlaster::traceLine(double at, const std::string& kind,
                                 const std::vector<std::uint8_t>& bytes,
                                 const std::string& detail) {
  if (trace_ == nullptr) return;
  std::fprintf(trace_, "%.3f %s %s%s%s\n", at, kind.c_str(), protocol::hexText(bytes).c_str(),
               detail.empty() ? "" : " ", detail.c_str());
  std::fflush(trace_);
}

void SimulatedBlaster::packet(const protocol::Frame& frame) {
  if (!frame.packet) {
    traceLine(frame.at, "packet", frame.bytes, "unknown");
  } else if (frame.packet->opcode == protocol::kOpVersionQuery) {
    traceLine(frame.at, "packet", frame.bytes, "version-query " + lineSettingsText(slave_));
  } else {
    const protocol::DecodedPacket& key = *frame.packet;
    const protocol::CodeSet codeSet = protocol::codeSetOf(key.codeSetHigh, key.codeSetLow);
    char detail[96];
    std::snprintf(detail, sizeof detail, "key codeset=%02x%02x ueitype=%d ueicode=%d key=%d",
                  key.codeSetHigh, key.codeSetLow, codeSet.ueitype, codeSet.ueicode, key.key);
    traceLine(frame.at, "packet", frame.bytes, detail);
    if (options_.hangUpOnKey) hungUp_ = true;
    keyCodeSet_ = codeSet;
    key_ = key.key;
  }
}

void SimulatedBlaster::answer(const protocol::DecodedPacket& packet) {
  if (!answering()) return;
  if (packet.opcode == protocol::kOpVersionQuery) {
    reply(protocol::versionReply(static_cast<std::size_t>(options_.versionBytes)), "version-reply");
  } else if (!options_.noAck) {
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
void SimulatedBlaster::acknowledge() {
  reply({protocol::kAckByte}, "ack");
  if (keyCodeSet_.ueitype == options_.boxUeitype && keyCodeSet_.ueicode == options_.boxUeicode) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "reacted ueitype=%d ueicode=%d key=%d",
                  keyCodeSet_.ueitype, keyCodeSet_.ueicode, key_);
    traceLine(now(), "box", {}, detail);
  }
}

void SimulatedBlaster::reply(const std::vector<std::uint8_t>& bytes, const std::string& kind) {
  traceLine(now(), "reply", bytes, kind);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + written, bytes.size() - written);
    if (n <= 0 && errno != EINTR && errno != EAGAIN) return;
    if (n > 0) written += static_cast<std::size_t>(n);
  }
}
