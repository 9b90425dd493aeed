// The remotes file's tokens: names, decimal numbers, hexadecimal bytes and whole patterns.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tuner {

// Spaces and tabs separate tokens; a stray carriage return or NUL byte counts as one too.
bool isTokenSeparator(char c);

// Splits text into tokens separated by spaces and tabs.
std::vector<std::string_view> splitTokens(std::string_view text);

// An unsigned 32-bit decimal number and nothing else.
bool parseDecimal(std::string_view token, std::uint32_t& value);

struct ParsedPattern {
  std::uint32_t bitLength = 0;
  char flag = 0;
  std::vector<unsigned char> bytes;
};

// Parses "bit_length flag hh hh ..."; the problem it found, or null.
const char* parsePattern(std::string_view text, ParsedPattern& pattern);

}  // namespace tuner
