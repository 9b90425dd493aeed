// Serial services over termios. A name opens /dev/<name> (or names a path under /dev itself), and
// never leaves /dev; only a terminal is used, and never one another program holds in exclusive
// mode. The open is exclusive through flock, reads honour the COMMTIMEOUTS sets with poll, and
// the line is left as it was found when the port is closed.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>

#include "blaster/posix_device.h"
#include "blaster/serial_services.h"
#include "blaster/termios_settings.h"

namespace tuner {
namespace {

struct PosixPort {
  int fd;
  CommTimeouts timeouts;
  termios found;  // the line as it was before configure, put back on close
  bool configured;
};

PosixPort* portOf(PortHandle handle) { return reinterpret_cast<PosixPort*>(handle); }

using Clock = std::chrono::steady_clock;

PortOpenError errorFor(int openErrno) {
  switch (openErrno) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return PortOpenError::kNotFound;
    case EACCES:
    case EPERM:
      return PortOpenError::kAccessDenied;
    case EBUSY:
      return PortOpenError::kBusy;
    default:
      return PortOpenError::kOther;
  }
}

long long millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : left.count();
}

class PosixSerial final : public SerialServices {
 public:
  PortHandle open(const std::string& name, PortOpenError& error) override {
    const std::string path = devicePath(name);
    if (path.empty() || name.empty() || (name[0] == '/' && path != name)) {
      error = PortOpenError::kNotFound;
      return kInvalidPort;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      error = errorFor(errno);
      return kInvalidPort;
    }
    if (!isatty(fd)) {
      error = PortOpenError::kOther;
      ::close(fd);
      return kInvalidPort;
    }
    // A terminal another program put in exclusive mode is its own, even for root.
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
      error = PortOpenError::kBusy;
      ::close(fd);
      return kInvalidPort;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      error = errno == EWOULDBLOCK ? PortOpenError::kBusy : PortOpenError::kOther;
      ::close(fd);
      return kInvalidPort;
    }
    auto* port = new (std::nothrow) PosixPort{fd, CommTimeouts{}, termios{}, false};
    if (port == nullptr) {
      ::close(fd);
      error = PortOpenError::kOther;
      return kInvalidPort;
    }
    error = PortOpenError::kNone;
    return reinterpret_cast<PortHandle>(port);
  }

  // termios set directly; DTR and RTS lowered with the modem-control ioctl, which a
  // pseudo-terminal, having no such lines, refuses without harm.
  bool configure(PortHandle handle, const std::string&, const LineSetup& line,
                 const CommTimeouts& timeouts, const char*& failure) override {
    PosixPort& port = *portOf(handle);
    const int fd = port.fd;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
      failure = "detectComPortHandle:Err:Failed to get tcgetattr\n";
      return false;
    }
    if (!port.configured) port.found = tio;
    port.configured = true;
    if (!applyLine(line, tio) || tcsetattr(fd, TCSANOW, &tio) != 0) {
      failure = "detectComPortHandle:Err:Failed to get tcsetattr\n";
      return false;
    }
    const int lowered = (line.dtr ? 0 : TIOCM_DTR) | (line.rts ? 0 : TIOCM_RTS);
    if (lowered != 0 && ioctl(fd, TIOCMBIC, &lowered) != 0 && errno != ENOTTY && errno != EINVAL) {
      failure = "detectComPortHandle:Err:Failed to get TIOCMBIC\n";
      return false;
    }
    port.timeouts = timeouts;
    failure = nullptr;
    return true;
  }

  std::size_t write(PortHandle handle, const unsigned char* data, std::size_t count) override {
    const PosixPort& port = *portOf(handle);
    const auto budget =
        static_cast<long long>(port.timeouts.writeMultiplier) * count + port.timeouts.writeConstant;
    const bool bounded = budget > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(budget);
    std::size_t written = 0;
    while (written < count) {
      const ssize_t n = ::write(port.fd, data + written, count - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      pollfd waiting{port.fd, POLLOUT, 0};
      const long long wait = bounded ? millisecondsUntil(deadline) : -1;
      if (bounded && wait == 0) break;
      if (::poll(&waiting, 1, static_cast<int>(wait)) < 0 && errno != EINTR) break;
    }
    return written;
  }

  std::size_t read(PortHandle handle, unsigned char* data, std::size_t count) override {
    const PosixPort& port = *portOf(handle);
    const CommTimeouts& t = port.timeouts;
    constexpr std::uint32_t kMaxDword = std::numeric_limits<std::uint32_t>::max();
    const long long total = static_cast<long long>(t.readMultiplier) * count + t.readConstant;
    const bool returnAtOnce = t.readInterval == kMaxDword && total == 0;
    const bool totalBounded = total > 0;
    const bool intervalBounded = t.readInterval != 0 && t.readInterval != kMaxDword;
    const auto deadline = Clock::now() + std::chrono::milliseconds(total);

    std::size_t received = 0;
    bool hungUp = false;
    while (received < count) {
      const ssize_t n = ::read(port.fd, data + received, count - received);
      if (n > 0) {
        received += static_cast<std::size_t>(n);
        continue;
      }
      // The other end hung up (an adapter unplugged) and nothing is left: no more will come.
      // (With no data a raw terminal reads 0 too, so only the hang-up tells.)
      if (n == 0 && hungUp) break;
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      if (returnAtOnce) break;
      long long wait = -1;
      if (totalBounded) wait = millisecondsUntil(deadline);
      if (intervalBounded && received > 0 && (wait < 0 || wait > t.readInterval)) {
        wait = t.readInterval;
      }
      if (wait == 0) break;
      pollfd waiting{port.fd, POLLIN, 0};
      const int ready = ::poll(&waiting, 1, static_cast<int>(wait));
      if (ready == 0) break;
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0 && (waiting.revents & POLLIN) == 0) break;  // hung up or failed
      hungUp = (waiting.revents & POLLHUP) != 0;
    }
    return received;
  }

  void discardInput(PortHandle handle) override { tcflush(portOf(handle)->fd, TCIFLUSH); }

  void unlock(PortHandle handle) override { ::flock(portOf(handle)->fd, LOCK_UN); }
  bool lock(PortHandle handle) override {
    return ::flock(portOf(handle)->fd, LOCK_EX | LOCK_NB) == 0;
  }

  void close(PortHandle handle) override {
    PosixPort* port = portOf(handle);
    if (port->configured) tcsetattr(port->fd, TCSANOW, &port->found);
    ::close(port->fd);
    delete port;
  }

  void sleep(unsigned milliseconds) override {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

std::string devicePath(const std::string& name) {
  const std::string path = name.compare(0, 5, "/dev/") == 0 ? name : "/dev/" + name;
  for (std::size_t start = 1; start <= path.size();) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (path.compare(start, slash - start, "..") == 0) return std::string();
    start = slash + 1;
  }
  return path;
}

SerialServices& platformSerial() {
  static PosixSerial serial;
  return serial;
}

}  // namespace tuner
