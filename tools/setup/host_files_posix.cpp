#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <climits>
#include <cstring>

#include "host_files.h"

std::string temporaryFilesDirectory() {
  const char* base = getenv("TMPDIR");
  return base != nullptr && *base != '\0' ? base : "/tmp";
}

std::string makeTemporaryDirectory() {
  std::string pattern = temporaryFilesDirectory() + "/tunerctl-XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

void removeDirectory(const std::string& path) { rmdir(path.c_str()); }

std::string currentDirectory() {
  char path[PATH_MAX];
  return getcwd(path, sizeof path) != nullptr ? path : std::string();
}

bool changeDirectory(const std::string& path) { return chdir(path.c_str()) == 0; }

bool usableFileName(const std::string& name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.size() + 3 <= NAME_MAX;
}

std::string stablePortName(const std::string& port) {
  const std::string folder = "/dev/serial/by-id/";
  char device[PATH_MAX];
  if (realpath(("/dev/" + port).c_str(), device) == nullptr) return std::string();
  DIR* links = opendir(folder.c_str());
  if (links == nullptr) return std::string();
  std::string found;
  while (const dirent* entry = readdir(links)) {
    char target[PATH_MAX];
    if (entry->d_name[0] != '.' && realpath((folder + entry->d_name).c_str(), target) != nullptr &&
        std::strcmp(target, device) == 0) {
      found = folder + entry->d_name;
      break;
    }
  }
  closedir(links);
  return found;
}

std::vector<std::string> serialPortNames() {
  static const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};
  std::vector<std::string> names;
  DIR* dev = opendir("/dev");
  if (dev == nullptr) return names;
  while (const dirent* entry = readdir(dev)) {
    for (const char* family : kFamilies) {
      const std::size_t length = std::strlen(family);
      if (std::strncmp(entry->d_name, family, length) == 0 && entry->d_name[length] >= '0' &&
          entry->d_name[length] <= '9') {
        names.push_back(entry->d_name);
      }
    }
  }
  closedir(dev);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {
struct Job {
  const std::function<void(std::size_t)>* work;
  std::size_t index;
};
void* runJob(void* job) {
  const Job& j = *static_cast<Job*>(job);
  (*j.work)(j.index);
  return nullptr;
}
}  // namespace

void runConcurrently(std::size_t count, const std::function<void(std::size_t)>& work) {
  std::vector<Job> jobs(count);
  std::vector<pthread_t> threads(count);
  std::vector<bool> started(count, false);
  for (std::size_t i = 0; i < count; ++i) {
    jobs[i] = Job{&work, i};
    started[i] = pthread_create(&threads[i], nullptr, runJob, &jobs[i]) == 0;
    if (!started[i]) work(i);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (started[i]) pthread_join(threads[i], nullptr);
  }
}

bool inputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void setSingleKeys(bool on) {
  static termios lines{};
  static bool saved = false;
  if (!inputIsTerminal()) return;
  if (on) {
    if (tcgetattr(STDIN_FILENO, &lines) != 0) return;
    saved = true;
    termios keys = lines;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &keys);
  } else if (saved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &lines);
  }
}

int pollInput() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, 0) <= 0) return kNoInput;
  unsigned char c = 0;
  const ssize_t n = read(STDIN_FILENO, &c, 1);
  if (n == 1) return c == '\r' ? '\n' : c;
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return kNoInput;
  return inputIsTerminal() ? kNoInput : kEndOfInput;
}

// The shared object has no version resource: the version it was built with.
std::string pluginVersion(const std::string&) { return TUNER_VERSION; }
