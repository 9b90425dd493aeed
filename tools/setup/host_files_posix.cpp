#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <climits>
#include <cstring>

#include "blaster/posix_device.h"
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

std::string serialDevice(const std::string& port) {
  const std::string path = tuner::devicePath(port);
  char device[PATH_MAX];
  struct stat status {};
  if (path.empty() || port.find('\0') != std::string::npos ||
      realpath(path.c_str(), device) == nullptr || std::strncmp(device, "/dev/", 5) != 0 ||
      stat(device, &status) != 0 || !S_ISCHR(status.st_mode)) {
    return std::string();
  }
  return device;
}

namespace {

// The numbers of a process's open descriptors.
std::vector<std::string> descriptorsOf(const std::string& process) {
  std::vector<std::string> numbers;
  DIR* fds = opendir(("/proc/" + process + "/fd").c_str());
  if (fds == nullptr) return numbers;
  while (const dirent* entry = readdir(fds)) {
    if (entry->d_name[0] != '.') numbers.emplace_back(entry->d_name);
  }
  closedir(fds);
  return numbers;
}

// Whether the descriptor is the master of pseudo-terminal number index.
bool holdsMaster(const std::string& process, const std::string& fd, const std::string& index) {
  const int info = open(("/proc/" + process + "/fdinfo/" + fd).c_str(), O_RDONLY | O_CLOEXEC);
  if (info < 0) return false;
  char text[512] = {};
  const ssize_t n = read(info, text, sizeof text - 1);
  close(info);
  if (n <= 0) return false;
  const char* field = std::strstr(text, "tty-index:");
  if (field == nullptr) return false;
  field += std::strlen("tty-index:");
  while (*field == ' ' || *field == '\t') ++field;
  return std::strncmp(field, index.c_str(), index.size()) == 0 &&
         (field[index.size()] == '\n' || field[index.size()] == '\0');
}

}  // namespace

bool anotherProgramHas(const std::string& device) {
  struct stat wanted {};
  if (stat(device.c_str(), &wanted) != 0 || !S_ISCHR(wanted.st_mode)) return false;
  // A pseudo-terminal's master is the device itself: whoever holds it stands for the device.
  const std::string index =
      device.compare(0, 9, "/dev/pts/") == 0 ? device.substr(9) : std::string();
  const std::string self = std::to_string(getpid());
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return false;
  bool held = false;
  while (const dirent* entry = readdir(processes)) {
    const std::string process = entry->d_name;
    if (held || process == self || process.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    bool opens = false;
    bool master = false;
    for (const std::string& fd : descriptorsOf(process)) {
      struct stat opened {};
      if (stat(("/proc/" + process + "/fd/" + fd).c_str(), &opened) != 0) continue;
      if (S_ISCHR(opened.st_mode) && opened.st_rdev == wanted.st_rdev) opens = true;
      if (!index.empty() && holdsMaster(process, fd, index)) master = true;
    }
    held = opens && !master;
  }
  closedir(processes);
  return held;
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
