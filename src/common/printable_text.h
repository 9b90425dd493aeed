// Untrusted bytes as plain text: every byte outside printable ASCII, and the backslash, as \xhh,
// so that a name or a request can never start a line or move a terminal's cursor.
#pragma once

#include <string>
#include <string_view>

#include "common/hex_digits.h"

namespace tuner {

inline std::string printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      out += c;
    } else {
      out += "\\x";
      appendHexByte(out, byte);
    }
  }
  return out;
}

}  // namespace tuner
