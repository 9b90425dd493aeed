// Remote code sets as the host and the plug-in share them in memory: plain singly linked records
// laid out as a 32-bit host lays them out. Every record, name and byte array of a list comes from
// malloc and is released with free by FreeRemotes.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct Pattern {
  std::uint32_t bit_length;
  std::uint32_t length;  // bytes in `bytes`
  char r_flag;
  unsigned char* bytes;
  Pattern* next;
};

struct Command {
  char* name;
  Pattern* patterns;
  Command* next;
};

struct Remote {
  char* name;
  std::uint32_t carrier_freq;
  std::uint32_t bit_time;
  Command* commands;
  Remote* next;
};

}  // extern "C"

namespace tuner {
constexpr bool kHostLayout = sizeof(void*) == 4;
}  // namespace tuner

static_assert(!tuner::kHostLayout || sizeof(Remote) == 20, "Remote is 20 bytes for the host");
static_assert(!tuner::kHostLayout ||
                  (offsetof(Remote, name) == 0 && offsetof(Remote, carrier_freq) == 4 &&
                   offsetof(Remote, bit_time) == 8 && offsetof(Remote, commands) == 12 &&
                   offsetof(Remote, next) == 16),
              "Remote fields stand where the host expects them");
static_assert(!tuner::kHostLayout || sizeof(Command) == 12, "Command is 12 bytes for the host");
static_assert(!tuner::kHostLayout ||
                  (offsetof(Command, name) == 0 && offsetof(Command, patterns) == 4 &&
                   offsetof(Command, next) == 8),
              "Command fields stand where the host expects them");
static_assert(!tuner::kHostLayout || sizeof(Pattern) == 20, "Pattern is 20 bytes for the host");
static_assert(!tuner::kHostLayout ||
                  (offsetof(Pattern, bit_length) == 0 && offsetof(Pattern, length) == 4 &&
                   offsetof(Pattern, r_flag) == 8 && offsetof(Pattern, bytes) == 12 &&
                   offsetof(Pattern, next) == 16),
              "Pattern fields stand where the host expects them");
