// A channel as a viewer writes it: a whole number ("42"), or a sub-channel of a digital box or
// an over-the-air converter, its major and minor parts joined by a dot or a dash ("4.1", "7-01").
#pragma once

#include <limits>
#include <string>

namespace tuner {

// The most digits a channel's major part has (2147483647), and a sub-channel's minor part.
constexpr std::size_t kMaxMajorDigits = std::numeric_limits<int>::digits10 + 1;
constexpr std::size_t kMaxChannelPartDigits = 9;

struct Channel {
  int major = 0;      // the whole channel, or a sub-channel's major part
  std::string minor;  // a sub-channel's minor digits as written; empty for a whole channel
};

// Reads a channel, the one reader of every tool: a whole number from 1 to 2147483647 (leading
// zeros allowed: 007 is 7), or such a major, one "." or "-", and at most kMaxChannelPartDigits
// minor digits. False for anything else.
bool readChannel(const std::string& text, Channel& channel);

// The channel as the trace and the sentences show it ("42", "4.1").
std::string channelText(const Channel& channel);

}  // namespace tuner
