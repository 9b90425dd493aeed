// A channel as a viewer writes it: a whole number ("42"), or a sub-channel of a digital box or
// an over-the-air converter, its major and minor parts joined by a dot or a dash ("4.1", "7-01").
#pragma once

#include <string>

namespace tuner {

// The most digits either part of a channel may have: every whole number of this many fits an int.
constexpr std::size_t kMaxChannelPartDigits = 9;

struct Channel {
  int major = 0;      // the whole channel, or a sub-channel's major part
  std::string minor;  // a sub-channel's minor digits as written; empty for a whole channel
};

// Reads a channel: digits, or digits, one "." or "-", digits; each part at most
// kMaxChannelPartDigits digits, the major 1 or more. False for anything else.
bool readChannel(const std::string& text, Channel& channel);

// The channel as the trace and the sentences show it ("42", "4.1").
std::string channelText(const Channel& channel);

}  // namespace tuner
