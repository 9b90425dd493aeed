// A serial layer for unit tests: records every operation with its arguments, answers as a
// scripted blaster would, and advances a virtual clock instead of sleeping.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "blaster/blaster_protocol.h"
#include "blaster/serial_services.h"

namespace tuner::testing {

class RecordingSerial final : public SerialServices {
 public:
  struct Write {
    long long atMs;
    std::vector<std::uint8_t> bytes;
  };

  // Script.
  bool openFails = false;
  PortOpenError openError = PortOpenError::kNotFound;  // the reason a failing open gives
  int busyOpens = 0;                                   // opens refused as busy before one succeeds
  bool configureFails = false;
  const char* configureFailure = nullptr;  // the trace line a failing set-up gives
  bool blasterAttached = true;             // answers the version query and acknowledges keys
  std::size_t versionReplyLength = 10;
  int acksLeft = -1;               // keys still acknowledged; -1: every key
  std::deque<std::uint8_t> input;  // bytes waiting to be read
  int emptyReadsFirst = 0;         // reads that time out before the input arrives
  bool lockBusy = false;           // another program holds the port it keeps open

  // Record.
  std::vector<std::string> calls;
  std::vector<Write> writes;
  std::vector<unsigned> sleeps;
  std::vector<CommTimeouts> timeouts;
  LineSetup lastLine{};
  long long clockMs = 0;
  int opens = 0;
  int closes = 0;
  std::string openedName;

  PortHandle open(const std::string& name, PortOpenError& error) override;
  bool configure(PortHandle port, const std::string& name, const LineSetup& line,
                 const CommTimeouts& timeouts, const char*& failure) override;
  std::size_t write(PortHandle port, const unsigned char* data, std::size_t count) override;
  std::size_t read(PortHandle port, unsigned char* data, std::size_t count) override;
  void discardInput(PortHandle port) override;
  void unlock(PortHandle port) override;
  bool lock(PortHandle port) override;
  void close(PortHandle port) override;
  void sleep(unsigned milliseconds) override;

  // Operations other than sleeps, in order ("write bc ac ...", "read 10 -> 10", ...).
  std::vector<std::string> operations() const;
  // The key numbers of the key packets written, in order.
  std::vector<int> keysSent() const;

 private:
  static constexpr PortHandle kHandle = 7;
  protocol::FrameReader reader_;
};

std::string hexBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace tuner::testing
