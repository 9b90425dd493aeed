// Serial services over kernel32.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "blaster/serial_services.h"

namespace tuner {
namespace {

static_assert(sizeof(COMMTIMEOUTS) == sizeof(CommTimeouts), "CommTimeouts mirrors COMMTIMEOUTS");

constexpr DWORD kCommConfigSize = 52;
// Set before the time-outs a port is set up with, as the plug-in always has.
constexpr COMMTIMEOUTS kFirstTimeouts = {5000, 5000, 5000, 500, 500};

// An open port and the named mutex that keeps every other control call off it until it closes:
// exclusive opens cannot be waited for, and Wine does not enforce them.
struct Win32Port {
  HANDLE port;
  HANDLE turn;
};

Win32Port* portOf(PortHandle port) { return reinterpret_cast<Win32Port*>(port); }
HANDLE handleOf(PortHandle port) { return portOf(port)->port; }

// One name per port however it is written: COM5, com5 and \\.\COM5 share a mutex.
std::string turnNameFor(const std::string& name) {
  std::string port = name;
  if (port.compare(0, 4, "\\\\.\\") == 0) port.erase(0, 4);
  for (char& c : port) {
    // A mutex name holds no backslash.
    c = c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return "TunerDLL.port." + port;
}

PortOpenError errorFor(DWORD lastError) {
  switch (lastError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return PortOpenError::kNotFound;
    case ERROR_ACCESS_DENIED:  // what a port open in another program answers
    case ERROR_SHARING_VIOLATION:
      return PortOpenError::kBusy;
    default:
      return PortOpenError::kOther;
  }
}

// COM<n> goes through the device namespace, which is the only way ports above COM9 open.
std::string deviceNameFor(const std::string& name) {
  const bool comPort = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
                       (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
                       name.find_first_not_of("0123456789", 3) == std::string::npos;
  return comPort ? "\\\\.\\" + name : name;
}

// Applies the port's default configuration; results are not used.
void applyDefaultConfig(const std::string& name, HANDLE port) {
  auto* block = static_cast<COMMCONFIG*>(std::malloc(kCommConfigSize));
  if (block == nullptr) return;
  std::memset(block, 0, kCommConfigSize);
  block->dwSize = kCommConfigSize;
  DWORD size = kCommConfigSize;
  GetDefaultCommConfigA(name.c_str(), block, &size);
  SetCommConfig(port, block, size);
  std::free(block);
}

class Win32Serial final : public SerialServices {
 public:
  PortHandle open(const std::string& name, PortOpenError& error) override {
    HANDLE turn = CreateMutexA(nullptr, FALSE, turnNameFor(name).c_str());
    if (turn == nullptr) {
      error = PortOpenError::kOther;
      return kInvalidPort;
    }
    const DWORD waited = WaitForSingleObject(turn, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      CloseHandle(turn);
      error = PortOpenError::kBusy;
      return kInvalidPort;
    }
    HANDLE handle = CreateFileA(deviceNameFor(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = errorFor(GetLastError());
      ReleaseMutex(turn);
      CloseHandle(turn);
      return kInvalidPort;
    }
    auto* open = new (std::nothrow) Win32Port{handle, turn};
    if (open == nullptr) {
      CloseHandle(handle);
      ReleaseMutex(turn);
      CloseHandle(turn);
      error = PortOpenError::kOther;
      return kInvalidPort;
    }
    error = PortOpenError::kNone;
    return reinterpret_cast<PortHandle>(open);
  }

  // The port's default configuration, its state as a mode text builds it with DTR and RTS
  // control off, and two rounds of time-outs: each failure traced as the plug-in always has.
  bool configure(PortHandle port, const std::string& name, const LineSetup& line,
                 const CommTimeouts& timeouts, const char*& failure) override {
    applyDefaultConfig(name, handleOf(port));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handleOf(port), &dcb)) {
      failure = "detectComPortHandle:Err:Failed to get GetCommState\n";
      return false;
    }
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    char mode[32];
    std::snprintf(mode, sizeof mode, "%u,%c,%u,%u", static_cast<unsigned>(line.baudRate),
                  line.parity ? 'e' : 'n', static_cast<unsigned>(line.dataBits),
                  static_cast<unsigned>(line.stopBits));
    if (!BuildCommDCBA(mode, &dcb)) {
      failure = "detectComPortHandle:Err:Failed to get BuildCommDCB\n";
      return false;
    }
    dcb.fDtrControl = line.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = line.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    if (!SetCommState(handleOf(port), &dcb)) {
      failure = "detectComPortHandle:Err:Failed to get SetCommState\n";
      return false;
    }
    COMMTIMEOUTS first = kFirstTimeouts;
    if (!SetCommTimeouts(handleOf(port), &first)) {
      failure = "detectComPortHandle:Err:Failed to get SetCommTimeouts\n";
      return false;
    }
    COMMTIMEOUTS cto{timeouts.readInterval, timeouts.readMultiplier, timeouts.readConstant,
                     timeouts.writeMultiplier, timeouts.writeConstant};
    failure = nullptr;
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

  void discardInput(PortHandle port) override {
    PurgeComm(handleOf(port), PURGE_RXABORT | PURGE_RXCLEAR);
  }

  // The port's handle is exclusive for as long as it is open.
  void unlock(PortHandle) override {}
  bool lock(PortHandle) override { return true; }

  void close(PortHandle port) override {
    Win32Port* open = portOf(port);
    CloseHandle(open->port);
    ReleaseMutex(open->turn);
    CloseHandle(open->turn);
    delete open;
  }

  void sleep(unsigned milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

SerialServices& platformSerial() {
  static Win32Serial serial;
  return serial;
}

}  // namespace tuner
