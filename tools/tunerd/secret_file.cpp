#include "secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tunerd {

bool readSecretFile(const char* option, const std::string& path, std::string& secret,
                    std::string& problem) {
  const std::string named = std::string(option) + " " + path + ": ";
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    problem = named + "cannot read it: " + std::strerror(errno);
    return false;
  }
  struct stat status {};
  std::string text;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    problem = named + "is not a plain file";
  } else if (status.st_size > static_cast<off_t>(kMaxSecretFile)) {
    problem = named + "is longer than " + std::to_string(kMaxSecretFile) + " bytes";
  } else {
    char buffer[kMaxSecretFile];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < kMaxSecretFile) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    if (n < 0) problem = named + "cannot read it: " + std::strerror(errno);
  }
  close(fd);
  if (!problem.empty()) return false;
  secret = text.substr(0, text.find('\n'));
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  if (secret.empty()) {
    problem = named + "its first line is empty";
    return false;
  }
  return true;
}

}  // namespace tunerd
