#include "remotes/remotes_tokens.h"

#include "common/text_lines.h"

namespace tuner {
namespace {

// Only these stand between a bit length and its flag: any other byte is the flag itself.
bool isFlagSeparator(char c) { return c == ' ' || c == '\t'; }

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A hexadecimal token ("%x": an optional 0x, then hex digits); its low 8 bits are the byte.
bool parseHexByte(std::string_view token, unsigned char& byte) {
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    token.remove_prefix(2);
  }
  if (token.empty()) return false;
  unsigned value = 0;
  for (char c : token) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<unsigned>(digit);
  }
  byte = static_cast<unsigned char>(value & 0xFF);
  return true;
}

}  // namespace

bool isTokenSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\0'; }

std::vector<std::string_view> splitTokens(std::string_view text) {
  return splitWords(text, isTokenSeparator);
}

bool parseDecimal(std::string_view token, std::uint32_t& value) {
  if (token.empty()) return false;
  unsigned long long v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  value = static_cast<std::uint32_t>(v);
  return true;
}

const char* parsePattern(std::string_view text, ParsedPattern& pattern) {
  std::size_t i = 0;
  while (i < text.size() && isTokenSeparator(text[i])) ++i;
  const std::size_t start = i;
  while (i < text.size() && !isTokenSeparator(text[i])) ++i;
  if (i == start) return "pattern without bit length";
  if (!parseDecimal(text.substr(start, i - start), pattern.bitLength)) {
    return "bit length is not a number";
  }
  while (i < text.size() && isFlagSeparator(text[i])) ++i;
  if (i == text.size()) return "pattern without flag";
  pattern.flag = text[i++];
  for (std::string_view token : splitTokens(text.substr(i))) {
    unsigned char byte = 0;
    if (!parseHexByte(token, byte)) return "pattern byte is not hexadecimal";
    pattern.bytes.push_back(byte);
  }
  return nullptr;
}

}  // namespace tuner
