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

// The 28-byte device control block of a serial line, field for field, so that the Windows backend
// can hand it to the system unchanged and the other backends read the same fields.
struct LineSettings {
  std::uint32_t length;  // 28
  std::uint32_t baudRate;
  std::uint32_t flags;  // see the kFlag... bits below
  std::uint16_t reserved;
  std::uint16_t xonLimit;
  std::uint16_t xoffLimit;
  std::uint8_t byteSize;
  std::uint8_t parity;    // kParityNone ...
  std::uint8_t stopBits;  // kOneStopBit ...
  char xonChar;
  char xoffChar;
  char errorChar;
  char eofChar;
  char evtChar;
  std::uint16_t reserved1;
};
static_assert(sizeof(LineSettings) == 28, "LineSettings mirrors the 28-byte DCB");

constexpr std::uint32_t kFlagBinary = 1u << 0;
constexpr std::uint32_t kFlagParityCheck = 1u << 1;
constexpr std::uint32_t kFlagOutxCtsFlow = 1u << 2;
constexpr std::uint32_t kFlagOutxDsrFlow = 1u << 3;
constexpr std::uint32_t kDtrControlShift = 4;  // two bits: 0 disable, 1 enable, 2 handshake
constexpr std::uint32_t kDtrControlMask = 3u << kDtrControlShift;
constexpr std::uint32_t kFlagOutX = 1u << 8;
constexpr std::uint32_t kFlagInX = 1u << 9;
constexpr std::uint32_t kRtsControlShift = 12;  // two bits: 0 disable, 1 enable, 2 handshake
constexpr std::uint32_t kRtsControlMask = 3u << kRtsControlShift;
constexpr std::uint32_t kControlEnable = 1;
constexpr std::uint32_t kControlHandshake = 2;

constexpr std::uint8_t kParityNone = 0;
constexpr std::uint8_t kParityOdd = 1;
constexpr std::uint8_t kParityEven = 2;
constexpr std::uint8_t kParityMark = 3;
constexpr std::uint8_t kParitySpace = 4;
constexpr std::uint8_t kOneStopBit = 0;
constexpr std::uint8_t kOnePointFiveStopBits = 1;
constexpr std::uint8_t kTwoStopBits = 2;

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
  // Applies the port's default configuration; results are not used.
  virtual void applyDefaultConfig(const std::string& name, PortHandle port) = 0;
  virtual bool getState(PortHandle port, LineSettings& settings) = 0;
  // Fills settings from a mode text such as "19200,n,8,1".
  virtual bool buildLineSettings(const char* mode, LineSettings& settings) = 0;
  virtual bool setState(PortHandle port, const LineSettings& settings) = 0;
  virtual bool setTimeouts(PortHandle port, const CommTimeouts& timeouts) = 0;
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
