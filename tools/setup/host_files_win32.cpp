#include <windows.h>

#include <cstdint>
#include <cstring>

#include "host_files.h"

std::string temporaryFilesDirectory() {
  char base[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof base, base);
  return length == 0 || length >= sizeof base ? std::string("(no TEMP folder)") : base;
}

std::string makeTemporaryDirectory() {
  const std::string base = temporaryFilesDirectory();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path =
        base + "tunerctl-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return std::string();
}

void removeDirectory(const std::string& path) { RemoveDirectoryA(path.c_str()); }

std::string currentDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(sizeof path, path);
  return length > 0 && length < sizeof path ? path : std::string();
}

bool changeDirectory(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

bool usableFileName(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr) return false;
  }
  return name.size() + 3 < MAX_PATH / 2;
}

// Windows keeps a COM number for each adapter: the name is stable already.
std::string stablePortName(const std::string&) { return std::string(); }

std::string serialDevice(const std::string& port) { return port; }

// A COM port is opened exclusively: one that another program has cannot be opened at all.
bool anotherProgramHas(const std::string&) { return false; }

// COM1 to COM64: the ports that do not exist are told apart by the probe.
std::vector<std::string> serialPortNames() {
  std::vector<std::string> names;
  for (int number = 1; number <= 64; ++number) names.push_back("COM" + std::to_string(number));
  return names;
}

namespace {
struct Job {
  const std::function<void(std::size_t)>* work;
  std::size_t index;
};
DWORD WINAPI runJob(LPVOID job) {
  const Job& j = *static_cast<Job*>(job);
  (*j.work)(j.index);
  return 0;
}
}  // namespace

void runConcurrently(std::size_t count, const std::function<void(std::size_t)>& work) {
  std::vector<Job> jobs(count);
  std::vector<HANDLE> threads(count, nullptr);
  for (std::size_t i = 0; i < count; ++i) {
    jobs[i] = Job{&work, i};
    threads[i] = CreateThread(nullptr, 0, runJob, &jobs[i], 0, nullptr);
    if (threads[i] == nullptr) work(i);
  }
  for (HANDLE thread : threads) {
    if (thread == nullptr) continue;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

namespace {

// Bytes read from standard input by a thread that waits for them.
class PipedInput {
 public:
  explicit PipedInput(HANDLE input) : input_(input) {
    InitializeCriticalSection(&lock_);
    HANDLE thread = CreateThread(nullptr, 0, readAll, this, 0, nullptr);
    if (thread == nullptr) {
      ended_ = true;
    } else {
      CloseHandle(thread);
    }
  }

  int next() {
    EnterCriticalSection(&lock_);
    int c = kNoInput;
    if (!bytes_.empty()) {
      c = static_cast<unsigned char>(bytes_.front());
      bytes_.erase(0, 1);
    } else if (ended_) {
      c = kEndOfInput;
    }
    LeaveCriticalSection(&lock_);
    return c == '\r' ? kNoInput : c;
  }

 private:
  static DWORD WINAPI readAll(void* self) {
    auto* piped = static_cast<PipedInput*>(self);
    char c = 0;
    DWORD read = 0;
    bool more = true;
    while (more) {
      more = ReadFile(piped->input_, &c, 1, &read, nullptr) && read == 1;
      EnterCriticalSection(&piped->lock_);
      if (more) {
        piped->bytes_ += c;
      } else {
        piped->ended_ = true;
      }
      LeaveCriticalSection(&piped->lock_);
    }
    return 0;
  }

  HANDLE input_;
  CRITICAL_SECTION lock_;
  std::string bytes_;
  bool ended_ = false;
};

}  // namespace

bool inputIsTerminal() { return GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR; }

void setSingleKeys(bool on) {
  static DWORD lines = 0;
  static bool saved = false;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!inputIsTerminal()) return;
  if (on) {
    if (!GetConsoleMode(input, &lines)) return;
    saved = true;
    SetConsoleMode(input, lines & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
  } else if (saved) {
    SetConsoleMode(input, lines);
  }
}

int pollInput() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const DWORD type = GetFileType(input);
  if (type == FILE_TYPE_CHAR) {
    INPUT_RECORD record;
    DWORD count = 0;
    while (PeekConsoleInputA(input, &record, 1, &count) && count == 1) {
      ReadConsoleInputA(input, &record, 1, &count);
      if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
          record.Event.KeyEvent.uChar.AsciiChar != 0) {
        const char c = record.Event.KeyEvent.uChar.AsciiChar;
        return c == '\r' ? '\n' : static_cast<unsigned char>(c);
      }
    }
    return kNoInput;
  }
  // Pipes and files: a thread of its own waits on them, so that a look never blocks.
  static PipedInput piped(input);
  return piped.next();
}

// The fixed file version of the DLL's version resource, read without loading its code.
std::string pluginVersion(const std::string& pluginPath) {
  HMODULE data = LoadLibraryExA(pluginPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (data == nullptr) return std::string();
  std::string version;
  HRSRC found = FindResourceA(data, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
  HGLOBAL loaded = found != nullptr ? LoadResource(data, found) : nullptr;
  const auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = found != nullptr ? SizeofResource(data, found) : 0;
  for (DWORD at = 0; bytes != nullptr && at + 16 <= size; at += 4) {
    std::uint32_t word[4];
    std::memcpy(word, bytes + at, sizeof word);
    if (word[0] != 0xFEEF04BD) continue;
    version = std::to_string(word[2] >> 16) + "." + std::to_string(word[2] & 0xFFFF) + "." +
              std::to_string(word[3] >> 16);
    break;
  }
  FreeLibrary(data);
  return version;
}
