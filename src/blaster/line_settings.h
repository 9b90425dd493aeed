// Mode texts such as "19200,n,8,1" turned into line settings, the way Windows reads them, for
// backends whose system has no such call.
#pragma once

#include "blaster/serial_services.h"

namespace tuner {

// Accepts "baud,parity,data,stop" (parity one of n o e m s, any case; stop 1, 1.5 or 2), with
// an optional fifth field x (XON/XOFF) or p (hardware handshake). Leaves `length` as it is.
bool parseModeText(const char* mode, LineSettings& settings);

}  // namespace tuner
