// The serial port services the blaster link needs from the platform, and nothing more. One
// backend per platform provides platformSerial(); unit tests substitute a recording fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tuner {

// An open port, as the backend hands it out.
using PortHandle = std::intptr_t;
constexpr PortHandle kInvalidPort = -1;

// The line a blaster talks on, in the project's own terms; never with flow control.
struct LineSetup {
  std::uint32_t baudRate;
  std::uint8_t dataBits;
  bool parity;  // false: none
  std::uint8_t stopBits;
  bool dtr;  // false: held low
  bool rts;  // false: held low
};

// Read and write time-outs in milliseconds, with the Windows COMMTIMEOUTS meaning: a read gives up
// when readInterval passes between two bytes, or when readMultiplier x count + readConstant have
// passed since it began.
struct CommTimeouts {
  std::uint32_t readInterval;
  std::uint32_t readMultiplier;
  std::uint32_t readConstant;
  std::uint32_t writeMultiplier;
  std::uint32_t writeConstant;
};

// Why a port did not open.
enum class PortOpenError {
  kNone,
  kNotFound,      // no such port
  kAccessDenied,  // the user may not open it
  kBusy,          // another call or program holds it; it may be free again soon
  kOther,
};

class SerialServices {
 public:
  virtual ~SerialServices() = default;

  // Opens an existing port by name, exclusively, and holds it against every other control call
  // until close; kInvalidPort, with the reason in error, when it cannot be opened now.
  virtual PortHandle open(const std::string& name, PortOpenError& error) = 0;
  // Sets the port up: its line, its modem-control lines (a port without them, such as a
  // pseudo-terminal, needs none) and the read and write time-outs. False when the port refuses
  // a step, with failure the trace line that names it, or null where that step has none.
  virtual bool configure(PortHandle port, const std::string& name, const LineSetup& line,
                         const CommTimeouts& timeouts, const char*& failure) = 0;
  // Sends the bytes in order; returns the count written.
  virtual std::size_t write(PortHandle port, const unsigned char* data, std::size_t count) = 0;
  // Returns once count bytes arrived or the time-outs expired, with the count received.
  virtual std::size_t read(PortHandle port, unsigned char* data, std::size_t count) = 0;
  // Drops whatever the port has received and not yet been read.
  virtual void discardInput(PortHandle port) = 0;
  // Lets other programs open the port while this one keeps it open, unused, and takes it back;
  // lock is false while another program holds it. A backend whose open handle is exclusive in
  // itself has nothing to let go.
  virtual void unlock(PortHandle port) = 0;
  virtual bool lock(PortHandle port) = 0;
  virtual void close(PortHandle port) = 0;
  virtual void sleep(unsigned milliseconds) = 0;
};

// The backend this build was linked with.
SerialServices& platformSerial();

}  // namespace tuner
