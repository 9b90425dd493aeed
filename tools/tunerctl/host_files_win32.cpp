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
