// A terminal's line settings both ways, for the POSIX serial backend and for blaster-sim, which
// reads back what the plug-in set.
#pragma once

#include <termios.h>

#include "blaster/serial_services.h"

namespace tuner {

// The speed code of a baud rate (B0 for one termios has no code for), and back (0 for none).
speed_t speedFor(std::uint32_t baud);
std::uint32_t baudFor(speed_t speed);

// Rate, data bits, parity, stop bits and flow control (RTS/CTS as kFlagOutxCtsFlow, XON/XOFF as
// kFlagOutX and kFlagInX) as the terminal holds them.
LineSettings lineSettingsOf(const termios& tio);

// Raw mode with the given settings; false for a rate termios cannot set.
bool applyLineSettings(const LineSettings& settings, termios& tio);

}  // namespace tuner
