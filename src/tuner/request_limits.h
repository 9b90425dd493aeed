// What one request of a service (tunerd's socket, web page and MQTT) may ask, so that nobody waits
// long behind it; the plug-in's own calls are the host's and have no such bound.
#pragma once

#include "tuner/channel_text.h"
#include "tuner/tuning_recipes.h"

namespace tuner {

// Keys of one request of buttons: buttons times their count.
constexpr int kMaxPresses = 10;
// The longest a request waits for its turn at a blaster.
constexpr int kTurnWaitSeconds = 30;
// The most keys a channel takes with its recipe: the keys before; the major's digits (or the
// padding), a sub-channel's dot and minor digits, the key after; all twice with "again". Every
// channel with every recipe fits: a channel is one request, sent whole.
constexpr int kMaxChannelPresses =
    kMaxBeforeKeys + 2 * (static_cast<int>(kMaxMajorDigits > static_cast<std::size_t>(kMaxDigits)
                                               ? kMaxMajorDigits
                                               : static_cast<std::size_t>(kMaxDigits)) +
                          1 + static_cast<int>(kMaxChannelPartDigits) + 1);

}  // namespace tuner
