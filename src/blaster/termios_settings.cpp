#include "blaster/termios_settings.h"

namespace tuner {

speed_t speedFor(std::uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B0;
  }
}

std::uint32_t baudFor(speed_t speed) {
  for (std::uint32_t baud : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
    if (speedFor(baud) == speed) return baud;
  }
  return 0;
}

LineSettings lineSettingsOf(const termios& tio) {
  LineSettings settings{};
  settings.baudRate = baudFor(cfgetospeed(&tio));
  const tcflag_t size = tio.c_cflag & CSIZE;
  settings.byteSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  settings.parity = (tio.c_cflag & PARENB) == 0   ? kParityNone
                    : (tio.c_cflag & PARODD) != 0 ? kParityOdd
                                                  : kParityEven;
  settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
  if ((tio.c_cflag & CRTSCTS) != 0) settings.flags |= kFlagOutxCtsFlow;
  if ((tio.c_iflag & IXON) != 0) settings.flags |= kFlagOutX;
  if ((tio.c_iflag & IXOFF) != 0) settings.flags |= kFlagInX;
  return settings;
}

bool applyLineSettings(const LineSettings& settings, termios& tio) {
  const speed_t speed = speedFor(settings.baudRate);
  if (speed == B0) return false;
  cfmakeraw(&tio);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CREAD | CLOCAL;
  switch (settings.byteSize) {
    case 5:
      tio.c_cflag |= CS5;
      break;
    case 6:
      tio.c_cflag |= CS6;
      break;
    case 7:
      tio.c_cflag |= CS7;
      break;
    default:
      tio.c_cflag |= CS8;
      break;
  }
  if (settings.parity == kParityOdd) tio.c_cflag |= PARENB | PARODD;
  if (settings.parity == kParityEven) tio.c_cflag |= PARENB;
  if (settings.stopBits != kOneStopBit) tio.c_cflag |= CSTOPB;
  const bool rtsHandshake =
      ((settings.flags & kRtsControlMask) >> kRtsControlShift) == kControlHandshake;
  if ((settings.flags & kFlagOutxCtsFlow) != 0 || rtsHandshake) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if ((settings.flags & kFlagOutX) != 0) tio.c_iflag |= IXON;
  if ((settings.flags & kFlagInX) != 0) tio.c_iflag |= IXOFF;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return true;
}

}  // namespace tuner
