// Remote code sets as the host and the plug-in share them in memory: the public header's plain
// singly linked records, laid out as a host of this width lays them out. Every record, name and
// byte array of a list comes from malloc and is released with free by FreeRemotes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tunerdll.h"

namespace tuner {

// Where a host of each width finds each field: natural alignment, pointers of its width.
struct HostLayout {
  std::size_t remote[6];   // name, carrier_freq, bit_time, commands, next; size
  std::size_t command[4];  // name, patterns, next; size
  std::size_t pattern[6];  // bit_length, length, r_flag, bytes, next; size
};
constexpr HostLayout kHost32{{0, 4, 8, 12, 16, 20}, {0, 4, 8, 12}, {0, 4, 8, 12, 16, 20}};
constexpr HostLayout kHost64{{0, 8, 12, 16, 24, 32}, {0, 8, 16, 24}, {0, 4, 8, 16, 24, 32}};
constexpr HostLayout kHostLayout = sizeof(void*) == 4 ? kHost32 : kHost64;

}  // namespace tuner

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "hosts are 32-bit or 64-bit");
static_assert(offsetof(Remote, name) == tuner::kHostLayout.remote[0] &&
                  offsetof(Remote, carrier_freq) == tuner::kHostLayout.remote[1] &&
                  offsetof(Remote, bit_time) == tuner::kHostLayout.remote[2] &&
                  offsetof(Remote, commands) == tuner::kHostLayout.remote[3] &&
                  offsetof(Remote, next) == tuner::kHostLayout.remote[4] &&
                  sizeof(Remote) == tuner::kHostLayout.remote[5],
              "Remote fields stand where the host expects them");
static_assert(offsetof(Command, name) == tuner::kHostLayout.command[0] &&
                  offsetof(Command, patterns) == tuner::kHostLayout.command[1] &&
                  offsetof(Command, next) == tuner::kHostLayout.command[2] &&
                  sizeof(Command) == tuner::kHostLayout.command[3],
              "Command fields stand where the host expects them");
static_assert(offsetof(Pattern, bit_length) == tuner::kHostLayout.pattern[0] &&
                  offsetof(Pattern, length) == tuner::kHostLayout.pattern[1] &&
                  offsetof(Pattern, r_flag) == tuner::kHostLayout.pattern[2] &&
                  offsetof(Pattern, bytes) == tuner::kHostLayout.pattern[3] &&
                  offsetof(Pattern, next) == tuner::kHostLayout.pattern[4] &&
                  sizeof(Pattern) == tuner::kHostLayout.pattern[5],
              "Pattern fields stand where the host expects them");
