// Untrusted bytes as plain text, so that a name or a request can never start a line or move a
// terminal's cursor: the one way the trace, tunerd's log and tunerctl show them.
#pragma once

#include <string>
#include <string_view>

#include "common/hex_digits.h"

namespace tuner {

enum class Escaped {
  kControlBytes,    // the trace: a control byte as \xhh, every other byte as it is
  kAllButPrintable  // logs and terminals: every byte outside printable ASCII, and "\", as \xhh
};

// Hands each byte, or the four characters of its escape, to piece(text, length) in order;
// stops where piece returns false (a buffer that is full, say). Takes nothing from the heap.
template <typename Piece>
void escapeBytes(std::string_view text, Escaped which, Piece piece) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = byte < 0x20 || byte == 0x7f;
    const bool plain =
        which == Escaped::kControlBytes ? !control : byte >= 0x20 && byte < 0x7f && byte != '\\';
    if (plain) {
      if (!piece(&c, 1)) return;
      continue;
    }
    const char escape[4] = {'\\', 'x', highHexDigit(byte), lowHexDigit(byte)};
    if (!piece(escape, 4)) return;
  }
}

inline std::string printable(std::string_view text) {
  std::string out;
  escapeBytes(text, Escaped::kAllButPrintable, [&](const char* piece, std::size_t length) {
    out.append(piece, length);
    return true;
  });
  return out;
}

}  // namespace tuner
