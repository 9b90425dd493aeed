#include "blaster/line_settings.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tuner {
namespace {

std::vector<std::string> splitFields(const char* mode) {
  std::vector<std::string> fields(1);
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c == ',') {
      fields.emplace_back();
    } else if (*c != ' ') {
      fields.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
  }
  return fields;
}

bool parseUnsigned(const std::string& text, unsigned long& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  value = std::strtoul(text.c_str(), nullptr, 10);
  return true;
}

}  // namespace

bool parseModeText(const char* mode, LineSettings& settings) {
  if (mode == nullptr) return false;
  const std::vector<std::string> fields = splitFields(mode);
  if (fields.size() < 4 || fields.size() > 5) return false;

  unsigned long baud = 0;
  unsigned long dataBits = 0;
  if (!parseUnsigned(fields[0], baud) || baud == 0) return false;
  if (!parseUnsigned(fields[2], dataBits) || dataBits < 5 || dataBits > 8) return false;

  static const char kParityLetters[] = "noems";
  if (fields[1].size() != 1) return false;
  const char* parity = std::strchr(kParityLetters, fields[1][0]);
  if (parity == nullptr || *parity == '\0') return false;

  std::uint8_t stopBits = 0;
  if (fields[3] == "1") {
    stopBits = kOneStopBit;
  } else if (fields[3] == "1.5") {
    stopBits = kOnePointFiveStopBits;
  } else if (fields[3] == "2") {
    stopBits = kTwoStopBits;
  } else {
    return false;
  }

  std::uint32_t flags = kFlagBinary;
  if (*parity != 'n') flags |= kFlagParityCheck;
  std::uint32_t dtr = kControlEnable;
  std::uint32_t rts = kControlEnable;
  if (fields.size() == 5) {
    if (fields[4] == "x") {
      flags |= kFlagOutX | kFlagInX;
    } else if (fields[4] == "p") {
      flags |= kFlagOutxCtsFlow | kFlagOutxDsrFlow;
      dtr = kControlHandshake;
      rts = kControlHandshake;
    } else {
      return false;
    }
  }
  flags |= dtr << kDtrControlShift;
  flags |= rts << kRtsControlShift;

  settings.baudRate = static_cast<std::uint32_t>(baud);
  settings.byteSize = static_cast<std::uint8_t>(dataBits);
  settings.parity = static_cast<std::uint8_t>(parity - kParityLetters);
  settings.stopBits = stopBits;
  settings.flags = flags;
  return true;
}

}  // namespace tuner
