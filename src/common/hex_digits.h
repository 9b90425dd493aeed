// A byte as two lowercase hexadecimal digits, as the trace, the remotes file and the wire's
// traces all write it.
#pragma once

#include <string>

namespace tuner {

constexpr char kHexDigits[] = "0123456789abcdef";

inline char highHexDigit(unsigned char byte) { return kHexDigits[byte >> 4]; }
inline char lowHexDigit(unsigned char byte) { return kHexDigits[byte & 0x0F]; }

inline void appendHexByte(std::string& out, unsigned char byte) {
  out += highHexDigit(byte);
  out += lowHexDigit(byte);
}

}  // namespace tuner
