#include "recording_serial.h"

#include <cstdio>

#include "blaster/blaster_protocol.h"

namespace tuner::testing {

std::string hexBytes(const std::vector<std::uint8_t>& bytes) { return protocol::hexText(bytes); }

PortHandle RecordingSerial::open(const std::string& name, PortOpenError& error) {
  calls.push_back("open " + name);
  if (busyOpens > 0) {
    --busyOpens;
    error = PortOpenError::kBusy;
    return kInvalidPort;
  }
  if (openFails) {
    error = openError;
    return kInvalidPort;
  }
  error = PortOpenError::kNone;
  ++opens;
  openedName = name;
  return kHandle;
}

bool RecordingSerial::configure(PortHandle, const std::string& name, const LineSetup& line,
                                const CommTimeouts& t, const char*& failure) {
  char text[160];
  std::snprintf(text, sizeof text, "configure %s %u %u%c%u dtr-%s rts-%s timeouts %u %u %u %u %u",
                name.c_str(), static_cast<unsigned>(line.baudRate),
                static_cast<unsigned>(line.dataBits), line.parity ? 'E' : 'N',
                static_cast<unsigned>(line.stopBits), line.dtr ? "high" : "low",
                line.rts ? "high" : "low", t.readInterval, t.readMultiplier, t.readConstant,
                t.writeMultiplier, t.writeConstant);
  calls.push_back(text);
  lastLine = line;
  timeouts.push_back(t);
  failure = configureFailure;
  return !configureFails;
}

std::size_t RecordingSerial::write(PortHandle, const unsigned char* data, std::size_t count) {
  std::vector<std::uint8_t> bytes(data, data + count);
  calls.push_back("write " + hexBytes(bytes));
  writes.push_back(Write{clockMs, bytes});
  if (!blasterAttached) return count;
  // The blaster answers each trailer as the protocol says, on the simulated clock.
  for (const protocol::Frame& frame : reader_.take(bytes.data(), bytes.size(), clockMs)) {
    if (frame.kind != protocol::Frame::kTrailer) continue;
    if (frame.packet->opcode == protocol::kOpVersionQuery) {
      for (std::uint8_t byte : protocol::versionReply(versionReplyLength)) input.push_back(byte);
    } else if (acksLeft != 0) {
      input.push_back(protocol::kAckByte);
      if (acksLeft > 0) --acksLeft;
    }
  }
  return count;
}

std::size_t RecordingSerial::read(PortHandle, unsigned char* data, std::size_t count) {
  std::size_t received = 0;
  const bool arrived = emptyReadsFirst == 0;
  if (!arrived) --emptyReadsFirst;
  while (arrived && received < count && !input.empty()) {
    data[received++] = input.front();
    input.pop_front();
  }
  if (received < count && !timeouts.empty()) {
    const CommTimeouts& t = timeouts.back();
    clockMs += static_cast<long long>(t.readMultiplier) * count + t.readConstant;
  }
  calls.push_back("read " + std::to_string(count) + " -> " + std::to_string(received));
  return received;
}

void RecordingSerial::discardInput(PortHandle) {
  calls.push_back("discard-input");
  input.clear();
}

void RecordingSerial::unlock(PortHandle) { calls.push_back("unlock"); }

bool RecordingSerial::lock(PortHandle) {
  calls.push_back(lockBusy ? "lock -> busy" : "lock");
  return !lockBusy;
}

void RecordingSerial::close(PortHandle) {
  calls.push_back("close");
  ++closes;
}

void RecordingSerial::sleep(unsigned milliseconds) {
  calls.push_back("sleep " + std::to_string(milliseconds));
  sleeps.push_back(milliseconds);
  clockMs += milliseconds;
}

std::vector<std::string> RecordingSerial::operations() const {
  std::vector<std::string> ops;
  for (const std::string& call : calls) {
    if (call.rfind("sleep", 0) != 0) ops.push_back(call);
  }
  return ops;
}

std::vector<int> RecordingSerial::keysSent() const {
  std::vector<int> keys;
  for (const Write& w : writes) {
    const auto decoded = protocol::decodePacket(w.bytes);
    if (decoded && decoded->opcode == protocol::kOpKey) keys.push_back(decoded->key);
  }
  return keys;
}

}  // namespace tuner::testing
