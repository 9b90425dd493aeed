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

bool applyLine(const LineSetup& line, termios& tio) {
  const speed_t speed = speedFor(line.baudRate);
  if (speed == B0) return false;
  cfmakeraw(&tio);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cflag |= line.dataBits == 5   ? CS5
                 : line.dataBits == 6 ? CS6
                 : line.dataBits == 7 ? CS7
                                      : CS8;
  if (line.parity) tio.c_cflag |= PARENB;
  if (line.stopBits != 1) tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return true;
}

}  // namespace tuner
