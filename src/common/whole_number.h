// Whole decimal numbers as users type them on a command line or in a settings file.
#pragma once

#include <string>

namespace tuner {

// Whole decimal integers only, from low to high: no sign but a leading minus, no spaces.
inline bool parseWholeNumber(const std::string& text, long long low, long long high, int& value) {
  std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 4294967296LL) return false;
  }
  if (text[0] == '-') v = -v;
  if (v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace tuner
