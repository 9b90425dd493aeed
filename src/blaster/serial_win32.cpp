// Serial services over kernel32.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "blaster/serial_services.h"

namespace tuner {
namespace {

static_assert(sizeof(DCB) == sizeof(LineSettings), "LineSettings is laid out as a DCB");
static_assert(sizeof(COMMTIMEOUTS) == sizeof(CommTimeouts), "CommTimeouts mirrors COMMTIMEOUTS");

constexpr DWORD kCommConfigSize = 52;

HANDLE handleOf(PortHandle port) { return reinterpret_cast<HANDLE>(port); }

// COM<n> goes through the device namespace, which is the only way ports above COM9 open.
std::string deviceNameFor(const std::string& name) {
  const bool comPort = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
                       (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
                       name.find_first_not_of("0123456789", 3) == std::string::npos;
  return comPort ? "\\\\.\\" + name : name;
}

class Win32Serial final : public SerialServices {
 public:
  PortHandle open(const std::string& name) override {
    HANDLE handle = CreateFileA(deviceNameFor(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return kInvalidPort;
    return reinterpret_cast<PortHandle>(handle);
  }

  void applyDefaultConfig(const std::string& name, PortHandle port) override {
    auto* block = static_cast<COMMCONFIG*>(std::malloc(kCommConfigSize));
    if (block == nullptr) return;
    std::memset(block, 0, kCommConfigSize);
    block->dwSize = kCommConfigSize;
    DWORD size = kCommConfigSize;
    GetDefaultCommConfigA(name.c_str(), block, &size);
    SetCommConfig(handleOf(port), block, size);
    std::free(block);
  }

  bool getState(PortHandle port, LineSettings& settings) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handleOf(port), &dcb)) return false;
    std::memcpy(&settings, &dcb, sizeof dcb);
    return true;
  }

  bool buildLineSettings(const char* mode, LineSettings& settings) override {
    DCB dcb;
    std::memcpy(&dcb, &settings, sizeof dcb);
    if (!BuildCommDCBA(mode, &dcb)) return false;
    std::memcpy(&settings, &dcb, sizeof dcb);
    return true;
  }

  bool setState(PortHandle port, const LineSettings& settings) override {
    DCB dcb;
    std::memcpy(&dcb, &settings, sizeof dcb);
    return SetCommState(handleOf(port), &dcb) != 0;
  }

  bool setTimeouts(PortHandle port, const CommTimeouts& timeouts) override {
    COMMTIMEOUTS cto{timeouts.readInterval, timeouts.readMultiplier, timeouts.readConstant,
                     timeouts.writeMultiplier, timeouts.writeConstant};
    return SetCommTimeouts(handleOf(port), &cto) != 0;
  }

  std::size_t write(PortHandle port, const unsigned char* data, std::size_t count) override {
    DWORD written = 0;
    WriteFile(handleOf(port), data, static_cast<DWORD>(count), &written, nullptr);
    return written;
  }

  std::size_t read(PortHandle port, unsigned char* data, std::size_t count) override {
    DWORD received = 0;
    if (!ReadFile(handleOf(port), data, static_cast<DWORD>(count), &received, nullptr)) return 0;
    return received;
  }

  void close(PortHandle port) override { CloseHandle(handleOf(port)); }

  void sleep(unsigned milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

SerialServices& platformSerial() {
  static Win32Serial serial;
  return serial;
}

}  // namespace tuner
