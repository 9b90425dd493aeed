// A terminal's line in termios terms: for the POSIX serial backend, and for blaster-sim, which
// reads back what the plug-in set.
#pragma once

#include <termios.h>

#include "blaster/serial_services.h"

namespace tuner {

// The speed code of a baud rate (B0 for one termios has no code for), and back (0 for none).
speed_t speedFor(std::uint32_t baud);
std::uint32_t baudFor(speed_t speed);

// Raw mode with the line's rate, data bits, parity and stop bits, and no flow control; false for
// a rate termios has no code for.
bool applyLine(const LineSetup& line, termios& tio);

}  // namespace tuner
